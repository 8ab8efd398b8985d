// zolvek import-dictd: a dictionary in the dictd format (as the FreeDict packages ship them)
// into a glossary table.
//
// FILE.index holds one entry a line: the headword, a tab, the offset of its definition in the
// .dict file, a tab, and the definition's length, both numbers written in dictd's base 64
// (digits "A-Za-z0-9+/", most significant first, no padding). FILE.dict holds the definitions,
// UTF-8; FILE.dict.dz is the same compressed with dictzip, a gzip file that zlib reads whole.
//
// Each headword becomes one record: ANAHTAR the headword without leading blanks (cut at the
// field's 175 bytes), ACIKLAMA the definition without its trailing line breaks, INDEX the
// headword's first character. A headword that occurs more than once gets one record with its
// definitions in index order, separated by an empty line. The "00-database-..." entries (the
// dictionary's own description) are skipped. Texts go from UTF-8 to Windows-1254; a character
// the code page cannot hold is written as the Turkish letter of its sound when it is one of the
// phonetic letters of the pronunciations (ʃ -> ş, tʃ -> ç, ɯ -> ı, ɾ -> r, ˈ -> '), else as its
// Latin transliteration when that fits the code page (ń -> n, ‐ -> -), else as '?'; a lone
// combining mark that composition could not merge is dropped.
#include "commands.h"

#include "db/base/errors.h"
#include "db/base/locale.h"
#include "db/cursor/cursor.h"
#include "db/storage/glossary_table.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <unistd.h>
#include <unordered_map>

namespace zolvek::tool {

namespace {

// One headword with its definitions (UTF-8).
struct TDictdEntry {
    std::string headword;
    std::string definition;
};

uint64_t DecodeDictdNumber(const std::string& text, size_t line) {
    static const std::string kDigits
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.empty() || text.size() > 8)
        throw std::runtime_error("index line " + std::to_string(line) + ": bad number " + text);
    uint64_t value = 0;
    for (char c : text) {
        size_t digit = kDigits.find(c);
        if (digit == std::string::npos)
            throw std::runtime_error("index line " + std::to_string(line) + ": bad number " + text);
        value = value * 64 + digit;
    }
    return value;
}

// The whole .dict file, inflated when it is gzip (dictzip); zlib reads a plain file as it is.
std::string ReadDictFile(const std::string& path) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path);
    std::string content;
    char chunk[1 << 16];
    int n = 0;
    while ((n = gzread(file, chunk, sizeof chunk)) > 0)
        content.append(chunk, size_t(n));
    int error = 0;
    std::string message = n < 0 ? gzerror(file, &error) : "";
    gzclose(file);
    if (n < 0)
        throw std::runtime_error("cannot inflate " + path + ": " + message);
    return content;
}

// The IPA letters of Turkish pronunciations, as the Turkish letters that spell those sounds.
const std::unordered_map<UChar32, const char*> kPhoneticLetters = {
    { 0x02C8, "'" }, // primary stress
    { 0x02CC, "," }, // secondary stress
    { 0x02D0, ":" }, // long
    { 0x025B, "e" }, // ɛ
    { 0x026A, "i" }, // ɪ
    { 0x026B, "l" }, // ɫ
    { 0x026F, "\xFD" }, // ɯ -> ı
    { 0x0283, "\xFE" }, // ʃ -> ş
    { 0x028A, "u" }, // ʊ
    { 0x027E, "r" }, // ɾ
    { 0x0254, "o" }, // ɔ
    { 0x0292, "j" }, // ʒ
    { 0x025F, "g" }, // ɟ
    { 0x0261, "g" }, // ɡ
    { 0x0263, "\xF0" }, // ɣ -> ğ
    { 0x0153, "\xF6" }, // œ -> ö
    { 0x0259, "e" }, // ə
    { 0x02A7, "\xE7" }, // ʧ -> ç
    { 0x02A4, "c" }, // ʤ
};

bool IsMetaEntry(const std::string& headword) {
    return headword.rfind("00-database-", 0) == 0 || headword.rfind("00database", 0) == 0;
}

// UTF-8 to Windows-1254, transliterating what the code page lacks (see the top of the file).
class TCp1254Writer {
public:
    TCp1254Writer() {
        UErrorCode status = U_ZERO_ERROR;
        normaliser_ = icu::Normalizer2::getNFCInstance(status);
        if (U_FAILURE(status))
            normaliser_ = nullptr;
        status = U_ZERO_ERROR;
        latin_.reset(
            icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            latin_.reset();
    }

    std::string Convert(const std::string& utf8) {
        icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
        if (normaliser_ != nullptr) {
            UErrorCode status = U_ZERO_ERROR;
            icu::UnicodeString composed = normaliser_->normalize(text, status);
            if (U_SUCCESS(status))
                text = composed;
        }
        // The affricates are two IPA letters and one Turkish letter: tʃ -> ç, dʒ -> c.
        text.findAndReplace(icu::UnicodeString(u"t\u0283"), icu::UnicodeString(u"\u00E7"));
        text.findAndReplace(icu::UnicodeString(u"d\u0292"), icu::UnicodeString(u"c"));
        std::string out;
        for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
            UChar32 c = text.char32At(i);
            out += Character(c);
        }
        return out;
    }

private:
    const std::string& Character(UChar32 c) {
        auto it = cache_.find(c);
        if (it != cache_.end())
            return it->second;
        icu::UnicodeString one(c);
        std::u16string utf16(reinterpret_cast<const char16_t*>(one.getBuffer()), one.length());
        std::string converted = Utf16ToCp1254(utf16);
        auto phonetic = kPhoneticLetters.find(c);
        if (phonetic != kPhoneticLetters.end())
            converted = phonetic->second;
        else if (converted == "?" && c != '?' && latin_ != nullptr) {
            icu::UnicodeString latin(c);
            latin_->transliterate(latin);
            std::u16string latin16(
                reinterpret_cast<const char16_t*>(latin.getBuffer()), latin.length());
            std::string candidate = Utf16ToCp1254(latin16);
            if (latin16.empty())
                converted.clear(); // a mark with nothing to stand on
            else if (candidate.find('?') == std::string::npos)
                converted = candidate;
        }
        return cache_.emplace(c, converted).first->second;
    }

    const icu::Normalizer2* normaliser_ = nullptr;
    std::unique_ptr<icu::Transliterator> latin_;
    std::unordered_map<UChar32, std::string> cache_;
};

// A bar on the terminal: "[#####-----]  52%  1234/2371".
class TProgress {
public:
    TProgress(size_t total, bool shown)
        : total_(total)
        , shown_(shown) { }
    void Step(size_t done) {
        if (!shown_ || total_ == 0)
            return;
        auto now = std::chrono::steady_clock::now();
        int percent = int(done * 100 / total_);
        if (percent == last_percent_ && done != total_
            && now - last_draw_ < std::chrono::milliseconds(200))
            return;
        last_percent_ = percent;
        last_draw_ = now;
        constexpr int kWidth = 40;
        int filled = int(done * kWidth / total_);
        std::fprintf(stderr, "\r[%s%s] %3d%%  %zu/%zu", std::string(size_t(filled), '#').c_str(),
            std::string(size_t(kWidth - filled), '-').c_str(), percent, done, total_);
        std::fflush(stderr);
    }
    void Finish() {
        if (shown_ && total_ > 0)
            std::fprintf(stderr, "\n");
    }

private:
    size_t total_;
    bool shown_;
    int last_percent_ = -1;
    std::chrono::steady_clock::time_point last_draw_ {};
};

std::string TrimLineBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

int CommandImportDictd(const TArguments& arguments, std::ostream& out) {
    if (arguments.positional.size() < 4)
        throw TUsageError("import-dictd needs DIR TABLE FILE.index FILE.dict[.dz]");
    const std::string& index_path = arguments.positional[2];
    const std::string& dict_path = arguments.positional[3];
    std::ifstream index(index_path, std::ios::binary);
    if (!index)
        throw std::runtime_error("cannot read " + index_path);
    std::string dict = ReadDictFile(dict_path);

    // Headwords in index order, repeats merged into the first.
    std::vector<TDictdEntry> entries;
    std::unordered_map<std::string, size_t> position;
    std::string line;
    size_t line_number = 0;
    while (std::getline(index, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> columns = Split(line, '\t');
        if (columns.size() < 3)
            throw std::runtime_error("index line " + std::to_string(line_number)
                + ": expected headword, offset and length separated by tabs");
        uint64_t offset = DecodeDictdNumber(columns[1], line_number);
        uint64_t length = DecodeDictdNumber(columns[2], line_number);
        if (offset > dict.size() || length > dict.size() - offset)
            throw std::runtime_error("index line " + std::to_string(line_number)
                + ": the definition lies beyond the end of " + dict_path);
        std::string headword = columns[0];
        headword.erase(0, headword.find_first_not_of(' '));
        if (headword.empty() || IsMetaEntry(headword))
            continue;
        std::string definition = TrimLineBreaks(dict.substr(size_t(offset), size_t(length)));
        auto [it, fresh] = position.emplace(headword, entries.size());
        if (fresh) {
            entries.push_back({ headword, definition });
        } else {
            entries[it->second].definition += "\n\n" + definition;
        }
    }

    TToolSession tool(arguments);
    TDataCursor cursor(*tool.directory, Utf8ToCp1254(arguments.positional[1]));
    cursor.Exclusive = arguments.Has("exclusive");
    cursor.OpenTable();
    const FieldDescriptor& word_field = cursor.FindFieldDescriptor("ANAHTAR");
    const FieldDescriptor& text_field = cursor.FindFieldDescriptor("ACIKLAMA");
    const FieldDescriptor& letter_field = cursor.FindFieldDescriptor("INDEX");
    int32_t word_no = int32_t(word_field.FieldNo);
    int32_t text_no = int32_t(text_field.FieldNo);
    int32_t letter_no = int32_t(letter_field.FieldNo);
    std::vector<uint8_t> record(cursor.RecordSize());
    TCp1254Writer writer;
    TProgress progress(entries.size(), isatty(STDERR_FILENO) == 1);
    size_t imported = 0;
    for (const TDictdEntry& entry : entries) {
        std::string word = writer.Convert(entry.headword);
        std::string text = writer.Convert(entry.definition);
        if (word.empty())
            continue;
        cursor.InitNewRecord(record.data());
        cursor.WriteFieldValue(
            word_no, record.data(), reinterpret_cast<const uint8_t*>(word.data()), word.size());
        cursor.WriteFieldValue(
            letter_no, record.data(), reinterpret_cast<const uint8_t*>(word.data()), 1);
        cursor.OpenBlobField(text_no, record.data(), TBlobBuffer::bmWrite);
        cursor.WriteBlobBytes(
            text_no, record.data(), 0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        try {
            cursor.InsertRecord(record.data(), false);
        } catch (...) {
            cursor.DiscardBlobChanges(record.data());
            throw;
        }
        cursor.CloseBlobField(text_no, record.data());
        progress.Step(++imported);
    }
    progress.Finish();
    cursor.CloseTable();
    out << "imported " << imported << " records\n";
    return 0;
}

} // namespace zolvek::tool
