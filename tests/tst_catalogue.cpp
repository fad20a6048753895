#include "console/catalogue.h"
#include "console/consolecommand.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

enum List { Basic, Expand, ExpandRead };

const QStringList &rowsOf(int list)
{
    switch (list) {
    case Basic:
        return Catalogue::basic();
    case Expand:
        return Catalogue::expand();
    default:
        return Catalogue::expandRead();
    }
}

// What follows "[CR]": nothing, a bare gap, or a gap, separator and text.
const QRegularExpression tailPattern(QStringLiteral("^\\[CR\\](?:([ \\t]*)|([ \\t]+)([:;])(.+))$"));

const int lampControlRow = 112; // the one row separated by ";"

struct Placeholder
{
    int row;
    const char *command;
    int digits;
};

const Placeholder placeholderRows[] = {
    {18, "CF VOLUME 0%%", 2},       {94, "CF VSCALE %%%", 3},      {97, "CF VPOS %%%", 3},
    {100, "CF HSCALE %%%", 3},      {103, "CF HPOS %%%", 3},       {119, "CF LAMPCHGSTA %%", 2},
    {120, "CF LAMPINTERVAL %%", 2}, {123, "CF FSYNC 00%%", 2},     {126, "CF TDOTS %%%%", 4},
    {129, "CF CLPPHASE %%%%", 4},   {132, "CF H-POS %%%%", 4},     {135, "CF V-POS %%%%", 4},
    {138, "CF DDOTS %%%%", 4},      {141, "CF DLINE %%%%", 4},     {177, "CF BRIGHT 0%%", 2},
    {180, "CF CONT 0%%", 2},        {183, "CF COLOR 0%%", 2},      {186, "CF TINT 0%%", 2},
    {189, "CF SHARP 0%%", 2},       {192, "CF GAMMA 0%%", 2},      {195, "CF WBAL-R 0%%", 2},
    {198, "CF WBAL-G 0%%", 2},      {201, "CF WBAL-B 0%%", 2},     {242, "CF LOGO %%%% OFF", 4},
    {243, "CF LOGO %%%% DFLT", 4},  {244, "CF LOGO %%%% USER", 4}, {245, "CF LOGO %%%% UP", 4},
    {246, "CF LOGO %%%% DN", 4},    {308, "CF P-MANETIME %%", 2},  {328, "CF SHUTH %%%", 3},
    {333, "CF PJPINCODE %%%%", 4},
};

QString rowTag(int list, int row)
{
    static const char *const names[] = {"basic", "expand", "expandRead"};
    return QStringLiteral("%1 row %2").arg(QLatin1String(names[list])).arg(row);
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void catalogue_data();
    void rowCount_data() { catalogue_data(); }
    void rowCount();
    void longestRow_data() { catalogue_data(); }
    void longestRow();
    void rowLayout_data() { catalogue_data(); }
    void rowLayout();
    void commandForm_data() { catalogue_data(); }
    void commandForm();

    void basicGap();
    void expandReadGaps();
    void readRows();

    void placeholders_data();
    void placeholders();
    void noOtherPlaceholders();
    void percentOnlyInDescription();

    void trailingGap_data();
    void trailingGap();
    void noOtherBareGaps();

    void spotRows_data();
    void spotRows();

    void commandPartCases_data();
    void commandPartCases();
};

void TestCatalogue::catalogue_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("described");
    QTest::addColumn<int>("longest");
    QTest::addColumn<QString>("command");

    // Keyword: letters, at most one hyphenated part, an optional trailing digit.
    const QString keyword = QStringLiteral("[A-Z]+(?:-[A-Z]+)?[0-9]?");
    // Argument: a word, or a placeholder field with up to two fixed zeros.
    const QString argument = QStringLiteral("(?:[A-Z0-9]+(?:-[A-Z0-9]+)?|0{0,2}%{2,4})");

    QTest::newRow("basic") << int(Basic) << 63 << 63 << 39
                           << QStringLiteral("C[0-9A-F]{2}|CR[0-9]");
    QTest::newRow("expand") << int(Expand) << 357 << 116 << 101
                            << QStringLiteral("CF %1(?: %2)*").arg(keyword, argument);
    QTest::newRow("expandRead") << int(ExpandRead) << 105 << 105 << 98
                                << QStringLiteral("CR %1").arg(keyword);
}

void TestCatalogue::rowCount()
{
    QFETCH(int, list);
    QFETCH(int, rows);
    QCOMPARE(rowsOf(list).size(), rows);
}

void TestCatalogue::longestRow()
{
    QFETCH(int, list);
    QFETCH(int, longest);
    qsizetype max = 0;
    for (const QString &row : rowsOf(list))
        max = qMax(max, row.size());
    QCOMPARE(max, qsizetype(longest));
}

void TestCatalogue::rowLayout()
{
    QFETCH(int, list);
    QFETCH(int, described);
    const QStringList &rows = rowsOf(list);
    int descriptions = 0;
    for (int i = 0; i < rows.size(); ++i) {
        const QString &row = rows.at(i);
        const QString tag = rowTag(list, i);
        QVERIFY2(row.count(QLatin1Char('[')) == 1, qPrintable(tag));
        const auto match = tailPattern.match(row.mid(row.indexOf(QLatin1Char('['))));
        QVERIFY2(match.hasMatch(), qPrintable(tag));
        if (match.hasCaptured(3)) {
            ++descriptions;
            const bool semicolon = match.captured(3) == QLatin1String(";");
            QVERIFY2(semicolon == (list == Expand && i == lampControlRow), qPrintable(tag));
        }
        for (const QChar c : row)
            QVERIFY2(c == QLatin1Char('\t') || (c >= QLatin1Char(' ') && c <= QLatin1Char('~')),
                     qPrintable(tag));
    }
    QCOMPARE(descriptions, described);
}

void TestCatalogue::commandForm()
{
    QFETCH(int, list);
    QFETCH(QString, command);
    const QRegularExpression form(QRegularExpression::anchoredPattern(command));
    QVERIFY(form.isValid());
    const QStringList &rows = rowsOf(list);
    QSet<QString> seen;
    for (int i = 0; i < rows.size(); ++i) {
        const QString cmd = commandPart(rows.at(i));
        QVERIFY2(form.match(cmd).hasMatch(),
                 qPrintable(rowTag(list, i) + QLatin1String(": ") + cmd));
        QVERIFY2(!seen.contains(cmd),
                 qPrintable(rowTag(list, i) + QLatin1String(" repeats ") + cmd));
        seen.insert(cmd);
    }
}

void TestCatalogue::basicGap()
{
    const QStringList &rows = Catalogue::basic();
    for (int i = 0; i < rows.size(); ++i) {
        const QString &row = rows.at(i);
        QVERIFY2(row.mid(commandPart(row).size()).startsWith(QLatin1String("[CR]     :")),
                 qPrintable(rowTag(Basic, i)));
    }
}

void TestCatalogue::expandReadGaps()
{
    const QStringList &rows = Catalogue::expandRead();
    for (int i = 0; i < rows.size(); ++i) {
        const auto match = tailPattern.match(rows.at(i).mid(commandPart(rows.at(i)).size()));
        QVERIFY2(match.hasCaptured(4), qPrintable(rowTag(ExpandRead, i)));
        const QString gap = match.captured(2);
        if (i == 85)
            QCOMPARE(gap, QStringLiteral("  "));
        else
            QVERIFY2(gap == QLatin1String(" \t") || gap == QLatin1String(" "),
                     qPrintable(rowTag(ExpandRead, i)));
        const QString description = match.captured(4);
        QVERIFY2(description.startsWith(QLatin1String("Get "))
                     || description.startsWith(QLatin1String("GET ")),
                 qPrintable(rowTag(ExpandRead, i)));
    }
}

void TestCatalogue::readRows()
{
    QStringList reads;
    for (const QString &row : Catalogue::basic()) {
        const QString cmd = commandPart(row);
        if (cmd.startsWith(QLatin1String("CR")))
            reads.append(cmd);
    }
    const QStringList expected
        = {QStringLiteral("CR0"), QStringLiteral("CR1"), QStringLiteral("CR3"),
           QStringLiteral("CR4"), QStringLiteral("CR6"), QStringLiteral("CR7")};
    QCOMPARE(reads, expected);
}

void TestCatalogue::placeholders_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("digits");
    for (const Placeholder &p : placeholderRows)
        QTest::addRow("%d", p.row) << p.row << QString::fromLatin1(p.command) << p.digits;
}

void TestCatalogue::placeholders()
{
    QFETCH(int, row);
    QFETCH(QString, command);
    QFETCH(int, digits);
    const QString cmd = commandPart(Catalogue::expand().at(row));
    QCOMPARE(cmd, command);
    QCOMPARE(int(cmd.count(QLatin1Char('%'))), digits);
}

void TestCatalogue::noOtherPlaceholders()
{
    QSet<int> expected;
    for (const Placeholder &p : placeholderRows)
        expected.insert(p.row);
    for (int list : {Basic, Expand, ExpandRead}) {
        const QStringList &rows = rowsOf(list);
        for (int i = 0; i < rows.size(); ++i) {
            const bool hasPlaceholder = commandPart(rows.at(i)).contains(QLatin1Char('%'));
            QVERIFY2(hasPlaceholder == (list == Expand && expected.contains(i)),
                     qPrintable(rowTag(list, i)));
        }
    }
}

void TestCatalogue::percentOnlyInDescription()
{
    // The console's placeholder hint also fires on these rows.
    const QStringList &rows = Catalogue::expand();
    QList<int> found;
    for (int i = 0; i < rows.size(); ++i) {
        const QString &row = rows.at(i);
        if (row.contains(QLatin1Char('%')) && !commandPart(row).contains(QLatin1Char('%')))
            found.append(i);
    }
    QCOMPARE(found, QList<int>({37, 40, 44, 46}));
    for (int i : found)
        QVERIFY(rows.at(i).endsWith(QLatin1String(" and also set input source to %1")));
}

void TestCatalogue::trailingGap_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("gap");
    QTest::newRow("22") << 22 << QStringLiteral("CF INPUT 2") << QStringLiteral(" \t");
    QTest::newRow("154") << 154 << QStringLiteral("CF ORGMODE 480I") << QStringLiteral(" ");
    QTest::newRow("271") << 271 << QStringLiteral("CF POINTER SPOTLIGHT MIN")
                         << QStringLiteral(" ");
    QTest::newRow("274") << 274 << QStringLiteral("CF POINTER LASER") << QStringLiteral(" ");
    QTest::newRow("293") << 293 << QStringLiteral("CF RCSENSOR DN") << QStringLiteral(" ");
    QTest::newRow("319") << 319 << QStringLiteral("CF SLANT L4") << QStringLiteral(" ");
    QTest::newRow("321") << 321 << QStringLiteral("CF SLANT DN") << QStringLiteral(" ");
}

void TestCatalogue::trailingGap()
{
    QFETCH(int, row);
    QFETCH(QString, command);
    QFETCH(QString, gap);
    const QString &text = Catalogue::expand().at(row);
    QCOMPARE(text, command + QLatin1String("[CR]") + gap);
    QCOMPARE(commandPart(text), command);
}

void TestCatalogue::noOtherBareGaps()
{
    const QSet<int> expected = {22, 154, 271, 274, 293, 319, 321};
    const QStringList &rows = Catalogue::expand();
    for (int i = 0; i < rows.size(); ++i) {
        const auto match = tailPattern.match(rows.at(i).mid(commandPart(rows.at(i)).size()));
        const bool bareGap = match.hasCaptured(1) && !match.captured(1).isEmpty();
        QVERIFY2(bareGap == expected.contains(i), qPrintable(rowTag(Expand, i)));
    }
}

void TestCatalogue::spotRows_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");

    const auto add = [](int list, int row, const char *text) {
        QTest::newRow(qPrintable(rowTag(list, row))) << list << row << QString::fromLatin1(text);
    };
    add(Basic, 0, "C00[CR]     :POWER ON");
    add(Basic, 13, "C0F[CR]     :Screen Normal size(4:3)");
    add(Basic, 21, "C24[CR]     :INPUT2 Y, Pb/Cb, Pr/Cr");
    add(Basic, 51, "C89[CR]     :Auto PC ADJ.");
    add(Basic, 62, "CR7[CR]     :LAMP MODE READ");

    add(Expand, 0,
        "CF KEYEMU RIGHT[CR]  \t:Behave the same as corresponding key of projector top panel");
    add(Expand, 5, "CF KEYEMU AUTOPC[CR]");
    add(Expand, 21, "CF INPUT 1[CR] \t\t:Select Input");
    add(Expand, 46, "CF INPUT4 NETWORK[CR]   :Select Input14 and also set input source to %1");
    add(Expand, 47, "CF SYSTEM VGA1[CR]  \t\t:Select System");
    add(Expand, 112, "CF LAMPCONTRL LAMP1[CR] \t;Select Lamp  control");
    add(Expand, 113, "CF LAMPCONTRL LAMP2[CR]");
    add(Expand, 142, "CF SETPCADJ[CR] \t\t:Apply valuse set in PC Adjust menu to screen image");
    add(Expand, 230, "CF LANG ENG[CR]  \t\t:Select English        Select language for OSD");
    add(Expand, 242, "CF LOGO %%%% OFF[CR]  \t\t:Set Logo function");
    add(Expand, 257, "CF PIPPOSITION BTMRIGHT[CR] \t:Set Position of Picture in Picture ");
    add(Expand, 324,
        "CF SHUTKEYPROT ON[CR]  \t\t:Set valid / invalid use of key on the top panel on "
        "Shutter control function");
    add(Expand, 350, "CF FILH RST[CR]  \t\t:Reset Filter used time ");
    add(Expand, 356, "CF FDEFAULT RST[CR]  \t\t:Set the value to Factory Default");

    add(ExpandRead, 0, "CR STATUS[CR] \t:Get setting status of Projector behavior");
    add(ExpandRead, 5,
        "CR TEMPFAIL[CR] :Get temperature when sensors approach abnomal temperature ");
    add(ExpandRead, 28,
        "CR SERSYS[CR] \t:Get selected current signal. When in Auto mode, it returns a "
        "result by Auto detect");
    add(ExpandRead, 61, "CR PIP[CR] \t:Get setting status of \"Picture in Picture\"");
    add(ExpandRead, 63,
        "CR PIPPOSITION[CR] :Get setting status of position of \"Picture in Picture\"");
    add(ExpandRead, 80, "CR HDMISOUND[CR] :Get setting status of Sound of \"HDMI setup\"");
    add(ExpandRead, 85, "CR TESTPAT[CR]  :Get setting status of Test pattern");
    add(ExpandRead, 99, "CR WBAL-B[CR] \t:Get Offset Blue ");
    add(ExpandRead, 104, "CR IMGGMD[CR] \t:Get setting value of image Gamma");
}

void TestCatalogue::spotRows()
{
    QFETCH(int, list);
    QFETCH(int, row);
    QFETCH(QString, text);
    QCOMPARE(rowsOf(list).at(row), text);
}

void TestCatalogue::commandPartCases_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("command");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("no bracket") << QStringLiteral("CF VOLUME 012")
                                << QStringLiteral("CF VOLUME 012");
    QTest::newRow("bracket first") << QStringLiteral("[CR]     :POWER ON") << QString();
    QTest::newRow("description dropped")
        << QStringLiteral("C00[CR]     :POWER ON") << QStringLiteral("C00");
    QTest::newRow("only first bracket") << QStringLiteral("CF A[B[CR]") << QStringLiteral("CF A");
    QTest::newRow("nothing trimmed")
        << QStringLiteral(" CF MUTE ON \t[CR]") << QStringLiteral(" CF MUTE ON \t");
    QTest::newRow("placeholders kept") << QStringLiteral("CF LOGO %%%% OFF[CR]  \t\t:Set Logo")
                                       << QStringLiteral("CF LOGO %%%% OFF");
}

void TestCatalogue::commandPartCases()
{
    QFETCH(QString, source);
    QFETCH(QString, command);
    QCOMPARE(commandPart(source), command);
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
