#include "app/lexicon/explanation_search.h"

#include "app/lexicon/turkish_text.h"
#include "db/base/locale.h"

#include <algorithm>
#include <memory>

namespace zendo::lexicon {

namespace {

constexpr size_t kMaxWordLength = 255;

void AppendVarint(std::vector<uint8_t>& out, uint32_t value) {
    while (value >= 0x80) {
        out.push_back(uint8_t(value | 0x80));
        value >>= 7;
    }
    out.push_back(uint8_t(value));
}

// The distinct folded words of a text, each cut to kMaxWordLength bytes.
template <typename Visit>
void ForEachFoldedWord(std::string_view text, std::string& word, Visit&& visit) {
    ForEachWord(text, [&](size_t start, size_t length) {
        word.assign(text.substr(start, std::min(length, kMaxWordLength)));
        for (char& c : word)
            c = FoldChar(c);
        visit(word);
    });
}

std::vector<std::string> DistinctWords(std::string_view first, std::string_view second = {}) {
    std::vector<std::string> words;
    std::string word;
    auto add = [&](const std::string& w) { words.push_back(w); };
    ForEachFoldedWord(first, word, add);
    ForEachFoldedWord(second, word, add);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

zolvek::TFilterDefinition RecordsFilter(const zolvek::TRecordsBitmap& records) {
    auto accepted = std::make_shared<zolvek::TRecordsBitmap>();
    accepted->Assign(records);
    zolvek::TFilterDefinition definition;
    definition.callback = [accepted](void*, size_t, const uint8_t*, uint32_t record_number) {
        return accepted->GetBit(record_number);
    };
    return definition;
}

void TExplanationIndex::BeginBuild() {
    *this = TExplanationIndex();
}

TExplanationIndex::TRecordInfo& TExplanationIndex::Info(uint32_t record) {
    if (record >= records_.size())
        records_.resize(size_t(record) + 1);
    return records_[record];
}

std::string_view TExplanationIndex::KeyWord(uint32_t record) const {
    if (record >= records_.size())
        return {};
    const TRecordInfo& info = records_[record];
    return std::string_view(keys_text_).substr(info.key_offset, info.key_length);
}

void TExplanationIndex::SetKeyWord(uint32_t record, std::string_view key_word) {
    key_word = key_word.substr(0, 255);
    TRecordInfo& info = Info(record);
    info.key_offset = uint32_t(keys_text_.size());
    info.key_length = uint8_t(key_word.size());
    keys_text_.append(key_word);
}

void TExplanationIndex::AddRecord(
    uint32_t record, std::string_view key_word, std::string_view explanation) {
    if (record == 0)
        return;
    SetKeyWord(record, key_word);
    TRecordInfo& info = Info(record);
    if (!info.live)
        ++live_records_;
    info.live = true;
    by_rank_.push_back(record);
    info.rank = uint32_t(2 * by_rank_.size());
    // Fold the texts, cut them into words; a word repeated in the record is its list's last.
    auto add_words = [&](TBuildingTerms& terms) {
        for (std::string_view word : record_words_) {
            auto it = terms.find(word);
            if (it == terms.end())
                it = terms.emplace(std::string(word), std::vector<uint32_t>()).first;
            if (it->second.empty() || it->second.back() != record)
                it->second.push_back(record);
        }
    };
    auto cut = [&](std::string_view text) {
        ForEachWord(text, [&](size_t start, size_t length) {
            record_words_.push_back(text.substr(start, std::min(length, kMaxWordLength)));
        });
    };
    folded_.assign(key_word);
    folded_ += ' ';
    folded_.append(explanation);
    const std::array<char, 256>& fold = FoldTable();
    for (char& c : folded_)
        c = fold[uint8_t(c)];
    std::string_view key_text = std::string_view(folded_).substr(0, key_word.size());
    record_words_.clear();
    cut(folded_);
    add_words(building_);
    record_words_.clear();
    cut(key_text);
    add_words(building_keys_);
}

void TExplanationIndex::EndBuild() {
    auto encode = [&](TBuildingTerms& terms, std::vector<TTerm>& vocabulary) {
        std::vector<std::pair<std::string_view, std::vector<uint32_t>*>> sorted;
        sorted.reserve(terms.size());
        for (auto& [text, records] : terms)
            sorted.emplace_back(text, &records);
        std::sort(sorted.begin(), sorted.end());
        vocabulary.reserve(sorted.size());
        for (auto& [text, records] : sorted) {
            std::sort(records->begin(), records->end());
            records->erase(std::unique(records->begin(), records->end()), records->end());
            TTerm term { uint32_t(terms_text_.size()), uint8_t(text.size()),
                uint32_t(postings_.size()), uint32_t(records->size()) };
            terms_text_.append(text);
            uint32_t previous = 0;
            for (uint32_t record : *records) {
                AppendVarint(postings_, record - previous);
                previous = record;
            }
            vocabulary.push_back(term);
            std::vector<uint32_t>().swap(*records);
        }
        terms.clear();
    };
    encode(building_, vocabulary_);
    encode(building_keys_, key_vocabulary_);
    building_ = {};
    building_keys_ = {};
    std::string().swap(folded_);
    std::vector<std::string_view>().swap(record_words_);
    postings_.shrink_to_fit();
    terms_text_.shrink_to_fit();
    stale_.SetSize(uint32_t(records_.size()));
}

void TExplanationIndex::RemoveChanged(uint32_t record) {
    changed_words_.erase(record);
    changed_key_words_.erase(record);
}

uint32_t TExplanationIndex::RankOf(std::string_view key_word, uint32_t locale_id) const {
    // The first record of the build order whose key word sorts after this one.
    size_t low = 0;
    size_t high = by_rank_.size();
    while (low < high) {
        size_t middle = (low + high) / 2;
        if (zolvek::CompareLocaleStrings(locale_id, KeyWord(by_rank_[middle]), key_word, true) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    return uint32_t(2 * low + 1);
}

void TExplanationIndex::UpdateRecord(
    uint32_t record, std::string_view key_word, std::string_view explanation, uint32_t locale_id) {
    if (record == 0)
        return;
    uint32_t rank = RankOf(key_word, locale_id);
    SetKeyWord(record, key_word);
    TRecordInfo& info = Info(record);
    if (!info.live)
        ++live_records_;
    info.live = true;
    info.rank = rank;
    if (stale_.Size() < records_.size())
        stale_.SetSize(uint32_t(records_.size()));
    stale_.SetBit(record);
    changed_words_[record] = DistinctWords(key_word, explanation);
    changed_key_words_[record] = DistinctWords(key_word);
}

void TExplanationIndex::EraseRecord(uint32_t record) {
    if (record == 0 || record >= records_.size() || !records_[record].live)
        return;
    records_[record].live = false;
    --live_records_;
    stale_.SetBit(record);
    RemoveChanged(record);
}

std::vector<uint32_t> TExplanationIndex::RecordsWithKeyWord(std::string_view key_word) const {
    std::string folded = Fold(key_word);
    std::vector<uint32_t> out;
    for (uint32_t record = 1; record < records_.size(); ++record) {
        if (!records_[record].live)
            continue;
        std::string_view key = KeyWord(record);
        if (key.size() != folded.size())
            continue;
        bool equal = true;
        for (size_t i = 0; i < key.size() && equal; ++i)
            equal = FoldChar(key[i]) == folded[i];
        if (equal)
            out.push_back(record);
    }
    return out;
}

void TExplanationIndex::Collect(
    const std::string& prefix, bool key_words, zolvek::TRecordsBitmap& bitmap) const {
    const std::vector<TTerm>& vocabulary = key_words ? key_vocabulary_ : vocabulary_;
    auto it = std::lower_bound(vocabulary.begin(), vocabulary.end(), prefix,
        [&](const TTerm& term, const std::string& p) { return TermText(term) < p; });
    bool any_stale = !changed_words_.empty() || stale_.CountBits() > 0;
    const uint8_t* postings = postings_.data();
    for (; it != vocabulary.end() && StartsWith(TermText(*it), prefix); ++it) {
        const uint8_t* p = postings + it->postings;
        uint32_t record = 0;
        for (uint32_t n = 0; n < it->count; ++n) {
            uint32_t delta = 0;
            int shift = 0;
            uint8_t byte;
            do {
                byte = *p++;
                delta |= uint32_t(byte & 0x7F) << shift;
                shift += 7;
            } while (byte & 0x80);
            record += delta;
            bitmap.SetBit(record);
        }
    }
    if (!any_stale)
        return;
    // Base postings of changed records no longer count; their present words do.
    zolvek::TRecordsBitmap fresh;
    fresh.SetSize(bitmap.Size());
    fresh.Assign(stale_);
    fresh.SetSize(bitmap.Size());
    fresh.Invert();
    bitmap.AndWith(fresh);
    const auto& changed = key_words ? changed_key_words_ : changed_words_;
    for (const auto& [record, words] : changed) {
        for (const std::string& word : words) {
            if (StartsWith(word, prefix)) {
                bitmap.SetBit(record);
                break;
            }
        }
    }
}

TExplanationResult TExplanationIndex::Search(std::string_view text, size_t row_limit) const {
    TExplanationResult result;
    result.words = DistinctWords(text);
    // A word that begins another typed word adds nothing: "kitap kitaplar" is "kitaplar".
    std::vector<std::string> needed;
    for (const std::string& word : result.words) {
        bool covered = false;
        for (const std::string& other : result.words)
            covered = covered || (other != word && StartsWith(other, word));
        if (!covered)
            needed.push_back(word);
    }
    uint32_t slots = uint32_t(records_.empty() ? 0 : records_.size() - 1);
    result.records.SetSize(slots);
    if (needed.empty())
        return result;
    zolvek::TRecordsBitmap word_records;
    for (size_t i = 0; i < needed.size(); ++i) {
        zolvek::TRecordsBitmap& target = i == 0 ? result.records : word_records;
        if (i > 0) {
            target.SetSize(slots);
            target.ClearAll();
        }
        Collect(needed[i], false, target);
        if (i > 0)
            result.records.AndWith(target);
        if (result.records.CountBits() == 0)
            break;
    }
    result.count = result.records.CountBits();
    if (result.count == 0)
        return result;

    // Rank: the key words that hold more typed words first, then key-word order.
    std::vector<zolvek::TRecordsBitmap> in_key_word(needed.size());
    for (size_t i = 0; i < needed.size(); ++i) {
        in_key_word[i].SetSize(slots);
        Collect(needed[i], true, in_key_word[i]);
    }
    struct TRanked {
        uint32_t matches;
        uint32_t rank;
        uint32_t record;
    };
    std::vector<TRanked> ranked;
    ranked.reserve(result.count);
    uint32_t record = 0;
    while (result.records.FindNext(record)) {
        uint32_t matches = 0;
        for (const auto& bitmap : in_key_word)
            matches += bitmap.GetBit(record) ? 1 : 0;
        ranked.push_back({ matches, records_[record].rank, record });
    }
    auto before = [](const TRanked& a, const TRanked& b) {
        if (a.matches != b.matches)
            return a.matches > b.matches;
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return a.record < b.record;
    };
    size_t rows = row_limit == 0 ? ranked.size() : std::min(row_limit, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + rows, ranked.end(), before);
    for (size_t i = 0; i < rows; ++i) {
        result.rows.push_back(
            { ranked[i].record, std::string(KeyWord(ranked[i].record)), ranked[i].matches });
    }
    return result;
}

size_t TExplanationIndex::MemoryBytes() const {
    size_t bytes = terms_text_.capacity() + postings_.capacity() + keys_text_.capacity()
        + (vocabulary_.capacity() + key_vocabulary_.capacity()) * sizeof(TTerm)
        + records_.capacity() * sizeof(TRecordInfo) + by_rank_.capacity() * sizeof(uint32_t)
        + stale_.AllocatedWords() * 8;
    for (const auto& [record, words] : changed_words_) {
        bytes += 64;
        for (const std::string& word : words)
            bytes += sizeof(std::string) + word.capacity();
    }
    return bytes;
}

} // namespace zendo::lexicon
