// The output box's line store on its own: a plain text box and the store, no window around it.
#include "cel_OutputLines.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <QtTest>

#include <string>

namespace {

constexpr size_t Piece = 65536;  // the length of a shown piece of a long line
constexpr size_t Long = 16384;   // from this last-line length on, output is collected

// The engine's output: bytes, a LF starting a new line; index is the line written to.
void Print(TOutputLines& lines, uint32_t& index, const QByteArray& bytes) {
    const QList<QByteArray> pieces = bytes.split('\n');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            QVERIFY(lines.AppendOutputLine());
            ++index;
        }
        if (!pieces[i].isEmpty()) QVERIFY(lines.AppendToOutputLine(index, pieces[i].toStdString()));
    }
}

std::string Line(TOutputLines& lines, uint32_t index) {
    std::string text;
    if (!lines.OutputLineText(index, text)) return "<failed>";
    return text;
}

}  // namespace

class TestGuiOutputLines : public QObject {
    Q_OBJECT

private slots:
    // Each row: a sequence of changes through the store, then the whole text, the lines the
    // engine reads back and the number of blocks the box shows.
    void changes_data() {
        QTest::addColumn<int>("row");
        QTest::newRow("appends and a new line") << 0;
        QTest::newRow("a long line in pieces") << 1;
        QTest::newRow("a line with pieces replaced") << 2;
        QTest::newRow("text set with a long line") << 3;
        QTest::newRow("bytes kept as they are") << 4;
        QTest::newRow("cleared") << 5;
    }

    void changes() {
        QFETCH(int, row);
        QPlainTextEdit box;
        TOutputLines lines(&box);
        const std::string big(2 * Piece + 5, 'x');
        QByteArray text;
        std::vector<std::string> read;
        int blocks = 0;
        switch (row) {
        case 0:
            QVERIFY(lines.AppendToOutputLine(0, "ab"));
            QVERIFY(lines.AppendOutputLine());
            QVERIFY(lines.AppendToOutputLine(1, "c"));
            QVERIFY(lines.AppendToOutputLine(1, "d"));
            text = "ab\r\ncd";
            read = {"ab", "cd", ""};
            blocks = 2;
            break;
        case 1:
            QVERIFY(lines.SetOutputLineText(0, big));
            text = QByteArray::fromStdString(big);
            read = {big, ""};
            blocks = 3;
            break;
        case 2:
            QVERIFY(lines.SetOutputLineText(0, "a"));
            QVERIFY(lines.SetOutputLineText(1, big));
            QVERIFY(lines.SetOutputLineText(2, "c"));
            QVERIFY(lines.SetOutputLineText(1, "b"));
            text = "a\r\nb\r\nc";
            read = {"a", "b", "c", ""};
            blocks = 3;
            break;
        case 3:
            lines.SetText(QByteArray("a\r\n") + QByteArray::fromStdString(big) + "\r\nc");
            text = QByteArray("a\r\n") + QByteArray::fromStdString(big) + "\r\nc";
            read = {"a", big, "c"};
            blocks = 5;
            break;
        case 4:
            QVERIFY(lines.SetOutputLineText(0, std::string("\xA0\xFF\x01 z", 5)));
            text = QByteArray("\xA0\xFF\x01 z", 5);
            read = {std::string("\xA0\xFF\x01 z", 5)};
            blocks = 1;
            break;
        case 5:
            QVERIFY(lines.SetOutputLineText(0, big));
            QVERIFY(lines.AppendOutputLine());
            lines.Clear();
            read = {"", ""};
            blocks = 1;
            break;
        }
        QCOMPARE(lines.Text(), text);
        for (uint32_t i = 0; i < read.size(); ++i) {
            const std::string seen = Line(lines, i);
            QVERIFY2(seen == read[i], qPrintable(QStringLiteral("line %1").arg(i)));
        }
        QCOMPARE(box.document()->blockCount(), blocks);
    }

    // Control characters show as spaces, as in the memory window, in output, set text and echo
    // alike; the text, the lines the engine reads and the copy keep their bytes.
    void controlCharactersShowAsSpaces() {
        QPlainTextEdit box;
        TOutputLines lines(&box);
        const std::string line("a\x01\x01" "b \x1b[0m\rc\td\x1f", 14);
        QVERIFY(lines.SetOutputLineText(0, "x"));
        QVERIFY(lines.AppendToOutputLine(0, line));
        QVERIFY(lines.AppendOutputLine());
        QVERIFY(lines.AppendToOutputLine(1, "\x02z"));
        lines.EchoInput("\x03!");
        const QByteArray bytes = QByteArray("x") + QByteArray::fromStdString(line) + "\r\n\x02z\x03!";
        const QString shown = QStringLiteral("xa  b  [0m c\td \n z !");
        QCOMPARE(lines.Text(), bytes);
        QCOMPARE(Line(lines, 0), "x" + line);
        QCOMPARE(box.toPlainText(), shown);
        QCOMPARE(box.document()->blockCount(), 2);
        lines.SetText(bytes);
        QCOMPARE(lines.Text(), bytes);
        QCOMPARE(Line(lines, 1), std::string("\x02z\x03!"));
        QCOMPARE(box.toPlainText(), shown);
        // Output after a control character is plain again.
        QVERIFY(lines.AppendToOutputLine(1, " y"));
        QVERIFY(lines.Text().endsWith("\x03! y"));
    }

    // Output into a long last line waits; the whole text has it at once, the box after the flush.
    void longLastLineCollects() {
        QPlainTextEdit box;
        TOutputLines lines(&box);
        QVERIFY(lines.SetOutputLineText(0, std::string(Long, 'x')));
        QVERIFY(lines.AppendToOutputLine(0, "yz"));
        QVERIFY(lines.Text().endsWith("xyz"));
        QCOMPARE(Line(lines, 0), std::string(Long, 'x') + "yz");
        QVERIFY(!box.document()->lastBlock().text().endsWith(QLatin1String("yz")));
        lines.ShowPending();
        QVERIFY(box.document()->lastBlock().text().endsWith(QLatin1String("xyz")));
        QCOMPARE(lines.Text().size(), qsizetype(Long + 2));
    }

    // The engine's hand-overs in a burst: collected into one edit of the box (not one each),
    // shown by the next frame; the text, the lines and the box's blocks are exact all along.
    void burstGoesInAsOneEdit() {
        QPlainTextEdit box;
        TOutputLines lines(&box);
        int edits = 0;
        connect(box.document(), &QTextDocument::contentsChanged, [&] { ++edits; });
        QByteArray text;
        QString shown;
        uint32_t line = 0;
        for (int i = 0; i < 3000; ++i) {
            // 80 letters, cut into hand-overs anywhere; every 700th line a long one in pieces;
            // a control character now and then.
            const std::string letters = i % 700 == 5 ? std::string(Piece + 7, 'L')
                                                     : std::string(79, char('A' + i % 26)) + (i % 9 ? 'z' : '\x01');
            const size_t cut = static_cast<size_t>(i) % letters.size();
            QVERIFY(lines.AppendToOutputLine(line, std::string_view(letters).substr(0, cut)));
            QVERIFY(lines.AppendToOutputLine(line, std::string_view(letters).substr(cut)));
            QVERIFY(lines.AppendOutputLine());
            ++line;
            text += QByteArray::fromStdString(letters) + "\r\n";
            QString piece = QString::fromStdString(letters).replace(QChar(1), QLatin1Char(' '));
            if (piece.size() > qsizetype(Piece)) piece.insert(qsizetype(Piece), QLatin1Char('\n'));
            shown += piece + QLatin1Char('\n');
        }
        QVERIFY(edits <= 2);
        QCOMPARE(lines.Text(), text);
        QTRY_COMPARE(box.toPlainText(), shown);
        QCOMPARE(box.document()->blockCount(), 3000 + 5 + 1);
        QCOMPARE(Line(lines, 2997), std::string(79, char('A' + 2997 % 26)) + "\x01");
        QCOMPARE(Line(lines, 705), std::string(Piece + 7, 'L'));
        QCOMPARE(lines.Text(), text);
    }

    // A change made past the store (the box's own) is read back from the box, not from the
    // store's copy of the last line.
    void foreignChangeIsSeen() {
        QPlainTextEdit box;
        TOutputLines lines(&box);
        QVERIFY(lines.SetOutputLineText(0, "abc"));
        QCOMPARE(Line(lines, 0), std::string("abc"));
        box.setPlainText(QStringLiteral("zzz\nw"));
        QCOMPARE(Line(lines, 0), std::string("zzz"));
        QCOMPARE(Line(lines, 1), std::string("w"));
        QVERIFY(lines.AppendToOutputLine(1, "v"));
        QCOMPARE(lines.Text(), QByteArray("zzz\r\nwv"));
    }

    // A step back keeps the first characters of output the run put into the text and the
    // echoes of the input read before the count it goes back to: the text from before the run
    // stays, a Clear Output during the run took the run's first characters with it, and the
    // run's next output goes on where the text now ends.
    void truncateRun_data() {
        QTest::addColumn<QByteArray>("before");  // the text when the run starts
        // The run's output: "|" stands for Clear Output, "#" for the typed line "in" read by the
        // input command at count 1, 2, ... in turn.
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<quint64>("shown");
        QTest::addColumn<quint64>("executed");
        QTest::addColumn<QByteArray>("after");
        const quint64 all = UINT64_MAX;
        QTest::newRow("inside a line") << QByteArray() << QByteArray("ab\ncd\nef") << quint64(4) << all << QByteArray("ab\r\nc");
        QTest::newRow("after a line break") << QByteArray() << QByteArray("ab\ncd\nef") << quint64(3) << all << QByteArray("ab\r\n");
        QTest::newRow("before a line break") << QByteArray() << QByteArray("ab\ncd\nef") << quint64(2) << all << QByteArray("ab");
        QTest::newRow("to the run's start") << QByteArray("old\r\n") << QByteArray("ab\nc") << quint64(0) << all << QByteArray("old\r\n");
        QTest::newRow("past the end") << QByteArray("old") << QByteArray("ab\nc") << quint64(9) << all << QByteArray("oldab\r\nc");
        QTest::newRow("after Clear Output") << QByteArray("old") << QByteArray("ab\nc|d\nef") << quint64(6) << all << QByteArray("d\r\n");
        QTest::newRow("before Clear Output") << QByteArray() << QByteArray("ab\nc|d\nef") << quint64(2) << all << QByteArray();
        const QByteArray big(2 * Piece + 5, 'x');
        QTest::newRow("inside a long line") << QByteArray() << big + "\nz" << quint64(Piece + 3) << all << QByteArray(Piece + 3, 'x');
        QTest::newRow("between two pieces") << QByteArray() << big + "\nz" << quint64(Piece) << all << QByteArray(Piece, 'x');
        QTest::newRow("after a long line") << QByteArray() << big + "\nz" << quint64(big.size() + 1) << all << big + "\r\n";
        QTest::newRow("an echo kept") << QByteArray() << QByteArray("ab#cd") << quint64(3) << quint64(2) << QByteArray("abin\r\nc");
        QTest::newRow("an echo taken back") << QByteArray() << QByteArray("ab#cd") << quint64(2) << quint64(1) << QByteArray("ab");
        QTest::newRow("an echo before a line break kept")
            << QByteArray() << QByteArray("ab\n#cd") << quint64(3) << quint64(2) << QByteArray("abin\r\n\r\n");
        QTest::newRow("an echo before a line break taken back")
            << QByteArray() << QByteArray("ab\n#cd#") << quint64(3) << quint64(1) << QByteArray("ab\r\n");
    }

    void truncateRun() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, output);
        QFETCH(quint64, shown);
        QFETCH(quint64, executed);
        QFETCH(QByteArray, after);
        QPlainTextEdit box;
        TOutputLines lines(&box);
        lines.SetText(before);
        lines.MarkRunStart();
        uint32_t line = uint32_t(before.count("\r\n"));
        uint64_t reads = 0;
        const QList<QByteArray> parts = output.split('|');
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                lines.Clear();
                line = 0;
            }
            const QList<QByteArray> pieces = parts[i].split('#');
            for (qsizetype j = 0; j < pieces.size(); ++j) {
                if (j > 0) {
                    lines.EchoInput("in", ++reads, true);
                    ++line;
                }
                Print(lines, line, pieces[j]);
            }
        }
        QVERIFY(lines.TruncateRun(shown, executed));
        QCOMPARE(lines.Text(), after);
        int blocks = 0;  // a line shows in pieces of Piece characters
        for (const QByteArray& shownLine : after.split('\n'))
            blocks += std::max(1, int((shownLine.size() + qsizetype(Piece) - 1) / qsizetype(Piece)));
        QCOMPARE(box.document()->blockCount(), blocks);
        // The engine goes on writing into the line that now ends the text.
        line = uint32_t(after.count("\r\n"));
        QCOMPARE(lines.LastLineIndex(), line);
        Print(lines, line, "+\n-");
        QCOMPARE(lines.Text(), after + "+\r\n-");
    }

    // Typed input goes before a final empty line, or at the end.
    void echo_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("after a line break") << QByteArray("out\r\n") << QByteArray("outin\r\n");
        QTest::newRow("in a line") << QByteArray("out") << QByteArray("outin");
        QTest::newRow("empty") << QByteArray() << QByteArray("in");
    }

    void echo() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QPlainTextEdit box;
        TOutputLines lines(&box);
        lines.SetText(before);
        lines.EchoInput("in");
        QCOMPARE(lines.Text(), after);
    }
};

QTEST_MAIN(TestGuiOutputLines)
#include "test_gui_outputlines.moc"
