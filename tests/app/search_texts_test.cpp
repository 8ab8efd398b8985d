// The texts of the searches on Windows-1254 bytes: the Turkish fold (ı to I, i to İ), the
// advanced mode's match with and without a leading "*", the prefix filter with quotes, the
// trimming of the entry dialog and the title.
#include "app/search_texts.h"

#include <QTest>

using namespace zendo;

namespace {

// Windows-1254 bytes of a few Turkish letters.
constexpr char kDotlessI = '\xFD'; // ı
constexpr char kCapitalDottedI = '\xDD'; // İ

std::string Bytes(const char* text) {
    return std::string(text);
}

} // namespace

class SearchTextsTest : public QObject {
    Q_OBJECT

private slots:
    void foldMapsTheLowerAlphabetOnly();
    void advancedSearch_data();
    void advancedSearch();
    void prefixFilterDoublesQuotes();
    void trimRemovesControlsAtBothEnds();
};

void SearchTextsTest::foldMapsTheLowerAlphabetOnly() {
    QCOMPARE(TurkishFold("abc\xE7"
                         "defg\xF0"
                         "h\xFD"
                         "ijklmno\xF6"
                         "pqrs\xFE"
                         "tu\xFC"
                         "vwxyz"),
        Bytes("ABC\xC7"
              "DEFG\xD0"
              "HI\xDD"
              "JKLMNO\xD6"
              "PQRS\xDE"
              "TU\xDC"
              "VWXYZ"));
    QCOMPARE(TurkishFoldChar(kDotlessI), 'I');
    QCOMPARE(TurkishFoldChar('i'), kCapitalDottedI);
    // Digits, punctuation, capitals and other accented letters stay.
    QCOMPARE(TurkishFold("09 *'-\xC7\xE9\xE2"), Bytes("09 *'-\xC7\xE9\xE2"));
    QCOMPARE(TurkishFold(std::string_view("a\0b", 3)), std::string("A\0B", 3));
}

void SearchTextsTest::advancedSearch_data() {
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("accepts");
    QTest::newRow("empty accepts all") << QByteArray() << QByteArray("kalem") << true;
    QTest::newRow("lone star accepts all") << QByteArray("*") << QByteArray("kalem") << true;
    QTest::newRow("prefix any case") << QByteArray("ka") << QByteArray("KAlem") << true;
    QTest::newRow("not a prefix") << QByteArray("al") << QByteArray("kalem") << false;
    QTest::newRow("dotless i and g-breve fold to I and G-breve")
        << QByteArray("\xFD\xF0") << QByteArray("I\xD0IK") << true;
    QTest::newRow("dotted i does not match capital I")
        << QByteArray("i") << QByteArray("Irmak") << false;
    QTest::newRow("dotted i matches capital dotted I")
        << QByteArray("i") << QByteArray("\xDDnci") << true;
    QTest::newRow("star searches inside") << QByteArray("*ka") << QByteArray("sokak") << true;
    QTest::newRow("star inside any case") << QByteArray("*ka") << QByteArray("SOKAK") << true;
    QTest::newRow("star needs the letters together")
        << QByteArray("*ka") << QByteArray("kXa") << false;
    QTest::newRow("star text as prefix of a starred key")
        << QByteArray("*xy") << QByteArray("*xyz") << true;
    QTest::newRow("longer than the key") << QByteArray("kalemler") << QByteArray("kalem") << false;
    QTest::newRow("star longer than the key")
        << QByteArray("*kalemler") << QByteArray("kalem") << false;
}

void SearchTextsTest::advancedSearch() {
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, key);
    QFETCH(bool, accepts);
    QCOMPARE(AdvancedSearchAccepts(typed.toStdString(), key.toStdString()), accepts);
}

void SearchTextsTest::prefixFilterDoublesQuotes() {
    QCOMPARE(PrefixFilterText("kar"), Bytes("[ANAHTAR]='kar*'"));
    QCOMPARE(PrefixFilterText("o'n"), Bytes("[ANAHTAR]='o''n*'"));
    QCOMPARE(PrefixFilterText("''"), Bytes("[ANAHTAR]='''''*'"));
    QCOMPARE(PrefixFilterText("\xFE"), Bytes("[ANAHTAR]='\xFE*'"));
}

void SearchTextsTest::trimRemovesControlsAtBothEnds() {
    QCOMPARE(TrimControls(" \t\r\n kalem \x01\x1F "), Bytes("kalem"));
    QCOMPARE(TrimControls("a b"), Bytes("a b"));
    QCOMPARE(TrimControls(" \t "), Bytes(""));
    QCOMPARE(TrimControls("\xA0x\xA0"), Bytes("\xA0x\xA0"));
    QCOMPARE(CountTitle(0), Bytes("ZENDO [0]"));
    QCOMPARE(CountTitle(371000), Bytes("ZENDO [371000]"));
}

QTEST_APPLESS_MAIN(SearchTextsTest)
#include "search_texts_test.moc"
