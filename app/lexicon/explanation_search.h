// The search inside explanations: TExplanationIndex, an in-memory inverted index of the words of
// every record's key word and explanation, built by one scan of the glossary through the engine
// and kept current record by record. A search answers the records that hold every typed word
// as a bitmap of record numbers (for a filter of the glossary cursor) and their first rows,
// ranked: key words that hold more of the typed words first, then in key-word order.
//
// Words: maximal runs of 1254 letters and digits (see turkish_text.h), compared after the
// Turkish fold. A typed word matches every word of the record that begins with it ("kitap"
// matches "kitapları"): Turkish adds its endings, and the last word is often half typed. A
// record matches when each typed word occurs in its explanation or in its key word.
//
// Storage: the vocabulary sorted, each word with its record numbers delta-coded as varints; the
// changes since the build in small side tables (records whose indexed words are stale, and the
// words of their present versions), which a rebuild folds in.
// Thread-safety: none; built on any thread (BeginBuild .. EndBuild), then used by one thread at a
// time.
#pragma once

#include "db/base/records_bitmap.h"
#include "db/cursor/cursor_filters.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zendo::lexicon {

struct TExplanationHit {
    uint32_t record = 0;
    std::string key_word;
    uint32_t key_word_matches = 0; // how many of the typed words the key word holds
};

struct TExplanationResult {
    std::vector<std::string> words; // the typed words, folded; none: nothing is searched
    zolvek::TRecordsBitmap records; // every matching record number
    uint32_t count = 0;
    std::vector<TExplanationHit> rows; // the first rows, ranked
};

// A record-callback filter for a cursor on the glossary that accepts exactly these records (a
// search result's `records`): the window's grid can show the answer in any of its sort orders.
// The cursor evaluates it by reading every record once (see lexicon_bench for the cost).
zolvek::TFilterDefinition RecordsFilter(const zolvek::TRecordsBitmap& records);

class TExplanationIndex {
public:
    // Building: records in key-word order (ScanGlossary's order: their rank), each once.
    void BeginBuild();
    void AddRecord(uint32_t record, std::string_view key_word, std::string_view explanation);
    void EndBuild();

    // A record that was added or changed (its present key word and explanation), or deleted.
    // `locale_id` orders a new key word among the others.
    void UpdateRecord(uint32_t record, std::string_view key_word, std::string_view explanation,
        uint32_t locale_id);
    void EraseRecord(uint32_t record);
    // The records the index holds with this key word (folded comparison).
    std::vector<uint32_t> RecordsWithKeyWord(std::string_view key_word) const;

    // The records that hold every word of `text`, with the first `row_limit` rows ranked
    // (0: all of them).
    TExplanationResult Search(std::string_view text, size_t row_limit = 20) const;

    size_t RecordCount() const { return live_records_; }
    size_t VocabularySize() const { return vocabulary_.size(); }
    size_t MemoryBytes() const;

private:
    struct TTerm {
        uint32_t offset; // of the word in terms_text_
        uint8_t length;
        uint32_t postings; // offset of its coded record numbers in postings_
        uint32_t count;
    };
    struct TRecordInfo {
        uint32_t key_offset = 0; // in keys_text_
        uint8_t key_length = 0;
        bool live = false;
        uint32_t rank = 0; // key-word order: 2 * position at the build; odd between
    };

    std::string_view TermText(const TTerm& term) const {
        return std::string_view(terms_text_).substr(term.offset, term.length);
    }
    std::string_view KeyWord(uint32_t record) const;
    TRecordInfo& Info(uint32_t record);
    void SetKeyWord(uint32_t record, std::string_view key_word);
    // Record numbers of the base terms beginning with `prefix` (key-word terms when
    // `key_words`), then the changed records' words, into `bitmap`.
    void Collect(const std::string& prefix, bool key_words, zolvek::TRecordsBitmap& bitmap) const;
    uint32_t RankOf(std::string_view key_word, uint32_t locale_id) const;
    void RemoveChanged(uint32_t record);

    // The built index: terms sorted; text words and key-word words separately.
    std::string terms_text_;
    std::vector<TTerm> vocabulary_;
    std::vector<TTerm> key_vocabulary_;
    std::vector<uint8_t> postings_;

    std::string keys_text_;
    std::vector<TRecordInfo> records_; // by record number
    std::vector<uint32_t> by_rank_; // record numbers in key-word order at the build
    size_t live_records_ = 0;

    // Changes since the build.
    zolvek::TRecordsBitmap stale_; // base postings of these records no longer hold
    std::unordered_map<uint32_t, std::vector<std::string>> changed_words_; // record -> words
    std::unordered_map<uint32_t, std::vector<std::string>> changed_key_words_;

    // Building only: each word's records, looked up by string_view.
    struct TViewHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view> {}(text);
        }
    };
    using TBuildingTerms
        = std::unordered_map<std::string, std::vector<uint32_t>, TViewHash, std::equal_to<>>;
    TBuildingTerms building_;
    TBuildingTerms building_keys_;
    std::string folded_; // the record being added, folded
    std::vector<std::string_view> record_words_;
};

} // namespace zendo::lexicon
