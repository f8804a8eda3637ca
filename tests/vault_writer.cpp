// Test helper: appends quotes of one article to a vault, as one Lumbra process would.
//   vault_writer VAULT COUNT TAG

#include "Reader/Vault.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) return 2;
    Quote quote;
    quote.itemId = 77;
    quote.feedId = 1;
    quote.title = QStringLiteral("Shared note");
    quote.url = QStringLiteral("https://example.org/shared");
    quote.savedAt = 1'796'472'000;
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    for (int i = 0; i < count; ++i) {
        quote.text = QString::fromLocal8Bit(argv[3]) + u' ' + QString::number(i);
        try {
            Vault::appendToNote(quote, QString::fromLocal8Bit(argv[1]));
        } catch (const LumbraError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    return 0;
}
