#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumbra"));
    QApplication::setOrganizationDomain(QStringLiteral("lumbra.app"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Lumbra"));
    window.setMinimumSize(900, 560);
    window.show();
    return QApplication::exec();
}
