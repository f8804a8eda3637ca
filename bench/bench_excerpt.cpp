// Excerpts of hostile bodies: the linear excerpt against the first, pattern-based one.
// Prints the time each takes for bodies that made the pattern-based one take quadratic
// time, and for an ordinary article.
//
//   bench_excerpt [--no-reference]

#include "../fuzz/ReferenceExcerpt.h"
#include "LumbraCore/Text.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

namespace {

QByteArray repeated(const QByteArray& head, const QByteArray& unit, int count)
{
    QByteArray body = head;
    for (int i = 0; i < count; ++i)
        body += unit;
    return body;
}

template <typename Run> double millis(Run run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const bool reference = !(argc > 1 && std::strcmp(argv[1], "--no-reference") == 0);
    const QByteArray article =
        repeated("<h1>Title</h1>",
                 "<p>Some <b>text</b> with a <a href=\"x\">link</a> &amp; more.</p>\n", 800);
    const struct {
        const char* name;
        QByteArray body;
    } cases[] = {
        {"ordinary article (56 KB)", article},
        {"40,000 unclosed <a (80 KB)", repeated("<p>Hello</p>", "<a", 40000)},
        {"8,000 unclosed <script (56 KB)", repeated("<p>Hello</p>", "<script", 8000)},
        {"20,000 &lt; (80 KB)", repeated("<p>Hello</p>", "&lt;", 20000)},
        {"16,000 &#65; (80 KB)", repeated("<p>Hello</p>", "&#65;", 16000)},
    };
    // The first call compiles the patterns and loads ICU's data; neither counts.
    excerpt(std::optional<QByteArray>(article), 160);
    if (reference) referenceExcerpt(article, 160);
    for (const auto& [name, body] : cases) {
        const std::optional<QByteArray> html(body);
        QString linear;
        const double ours = millis([&] { linear = excerpt(html, 160); });
        if (!reference) {
            std::printf("%-34s linear %8.2f ms\n", name, ours);
            continue;
        }
        QString slow;
        const double theirs = millis([&] { slow = referenceExcerpt(body, 160); });
        std::printf("%-34s linear %8.2f ms, pattern-based %9.1f ms, same text: %s\n", name, ours,
                    theirs, linear == slow ? "yes" : "NO");
    }
    return 0;
}
