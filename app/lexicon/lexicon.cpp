#include "app/lexicon/lexicon.h"

#include "app/lexicon/glossary_source.h"
#include "db/storage/directory.h"
#include "db/storage/table.h"

#include <algorithm>
#include <chrono>

namespace zendo::lexicon {

namespace {

struct TBuildCancelled { };

template <typename T> bool Finished(const std::future<T>& future) {
    return future.valid() && future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

struct TLexicon::TKeyPart {
    std::unique_ptr<TStemmer> stemmer;
    TKeyWordIndex key_words;
    uint32_t change_count = 0;
};

struct TLexicon::TTextPart {
    TExplanationIndex explanations;
    uint32_t change_count = 0;
};

TLexicon::TLexicon(zolvek::TDataDirectory& directory, TLexiconOptions options)
    : directory_(directory)
    , options_(std::move(options))
    , keys_(std::make_unique<TGlossaryKeys>(directory, options_.table_name)) {
    Rebuild();
}

TLexicon::~TLexicon() {
    cancel_ = true;
    if (building_keys_.valid())
        building_keys_.wait();
    if (building_text_.valid())
        building_text_.wait();
}

void TLexicon::Rebuild() {
    cancel_ = false;
    // The workers get the engine and the path, nothing of the window's session.
    if (!building_keys_.valid())
        building_keys_ = std::async(std::launch::async, &TLexicon::BuildKeyPart,
            &directory_.Engine(), directory_.Path(), options_, &cancel_);
    if (!building_text_.valid())
        building_text_ = std::async(std::launch::async, &TLexicon::BuildTextPart,
            &directory_.Engine(), directory_.Path(), options_, &cancel_);
}

std::unique_ptr<TLexicon::TKeyPart> TLexicon::BuildKeyPart(zolvek::TDataEngine* engine,
    std::string path, TLexiconOptions options, const std::atomic<bool>* cancel) {
    auto part = std::make_unique<TKeyPart>();
    part->stemmer = std::make_unique<TStemmer>(options.affix_file, options.dictionary_file);
    TWorkerSession session(*engine, path, options.passwords);
    std::vector<std::string> key_words;
    try {
        part->change_count = ScanGlossary(
            session.Directory(), options.table_name, false, [&](const TGlossaryRecord& record) {
                if (*cancel)
                    throw TBuildCancelled {};
                key_words.push_back(record.key_word);
            });
    } catch (const TBuildCancelled&) {
        return nullptr;
    }
    part->key_words.Build(key_words);
    return part;
}

std::unique_ptr<TLexicon::TTextPart> TLexicon::BuildTextPart(zolvek::TDataEngine* engine,
    std::string path, TLexiconOptions options, const std::atomic<bool>* cancel) {
    auto part = std::make_unique<TTextPart>();
    TWorkerSession session(*engine, path, options.passwords);
    part->explanations.BeginBuild();
    try {
        part->change_count = ScanGlossary(
            session.Directory(), options.table_name, true, [&](const TGlossaryRecord& record) {
                if (*cancel)
                    throw TBuildCancelled {};
                part->explanations.AddRecord(record.record, record.key_word, record.explanation);
            });
    } catch (const TBuildCancelled&) {
        return nullptr;
    }
    part->explanations.EndBuild();
    return part;
}

void TLexicon::TakeIn() {
    if (Finished(building_keys_)) {
        std::unique_ptr<TKeyPart> part = building_keys_.get(); // raises the build's failure
        if (part) {
            key_part_ = std::move(part);
            // Re-apply what the window reported while the part was building.
            std::vector<std::string> pending;
            pending.swap(pending_for_keys_);
            for (const std::string& key_word : pending) {
                size_t now = keys_->Find(key_word).size();
                ApplyToKeys(key_word, key_part_->key_words.Records(key_word), now);
            }
            if (!pending.empty())
                key_part_->change_count = keys_->ChangeCount();
        }
    }
    if (Finished(building_text_)) {
        std::unique_ptr<TTextPart> part = building_text_.get();
        if (part) {
            text_part_ = std::move(part);
            std::vector<std::string> pending;
            pending.swap(pending_for_text_);
            for (const std::string& key_word : pending)
                ApplyToText(key_word);
            if (!pending.empty())
                text_part_->change_count = keys_->ChangeCount();
        }
    }
}

bool TLexicon::Ready() {
    TakeIn();
    return key_part_ != nullptr;
}

bool TLexicon::ExplanationsReady() {
    TakeIn();
    return text_part_ != nullptr;
}

void TLexicon::WaitUntilReady() {
    if (building_keys_.valid())
        building_keys_.wait();
    if (building_text_.valid())
        building_text_.wait();
    TakeIn();
}

std::vector<std::string> TLexicon::Stems(std::string_view typed) {
    if (!Ready())
        return {};
    return GlossaryStems(*key_part_->stemmer, *keys_, typed);
}

std::vector<TSuggestion> TLexicon::DidYouMean(
    std::string_view typed, size_t count, double max_distance) {
    if (!Ready())
        return {};
    return key_part_->key_words.Closest(typed, count, max_distance);
}

TLexicon::TOffer TLexicon::Offer(std::string_view typed, size_t count) {
    TOffer offer;
    offer.key_words = Stems(typed);
    if (!offer.key_words.empty()) {
        offer.kind = TOffer::TKind::okStems;
        if (offer.key_words.size() > count)
            offer.key_words.resize(count);
        return offer;
    }
    for (const TSuggestion& suggestion : DidYouMean(typed, count))
        offer.key_words.push_back(suggestion.key_word);
    if (!offer.key_words.empty())
        offer.kind = TOffer::TKind::okDidYouMean;
    return offer;
}

TExplanationResult TLexicon::SearchExplanations(std::string_view text, size_t row_limit) {
    if (!ExplanationsReady())
        return {};
    return text_part_->explanations.Search(text, row_limit);
}

void TLexicon::KeyWordChanged(std::string_view key_word) {
    TakeIn();
    // A build under way may have read the table before the change: apply it again afterwards.
    if (building_keys_.valid())
        pending_for_keys_.emplace_back(key_word);
    if (building_text_.valid())
        pending_for_text_.emplace_back(key_word);
    if (key_part_ != nullptr) {
        size_t now = keys_->Find(key_word).size();
        ApplyToKeys(key_word, key_part_->key_words.Records(key_word), now);
    }
    if (text_part_ != nullptr)
        ApplyToText(key_word);
    uint32_t now = keys_->ChangeCount();
    if (key_part_ != nullptr && !building_keys_.valid())
        key_part_->change_count = now;
    if (text_part_ != nullptr && !building_text_.valid())
        text_part_->change_count = now;
}

void TLexicon::ApplyToKeys(std::string_view key_word, size_t records_before, size_t records_now) {
    std::string stored = records_now > 0 ? keys_->StoredForm(key_word) : std::string(key_word);
    for (size_t n = records_before; n < records_now; ++n)
        key_part_->key_words.Add(stored);
    for (size_t n = records_now; n < records_before; ++n)
        key_part_->key_words.Remove(key_word);
}

void TLexicon::ApplyToText(std::string_view key_word) {
    std::vector<TGlossaryRecord> present = keys_->Find(key_word, true);
    TExplanationIndex& index = text_part_->explanations;
    for (uint32_t record : index.RecordsWithKeyWord(key_word)) {
        bool kept = std::any_of(present.begin(), present.end(),
            [&](const TGlossaryRecord& r) { return r.record == record; });
        if (!kept)
            index.EraseRecord(record);
    }
    uint32_t locale = keys_->LocaleID();
    for (const TGlossaryRecord& record : present)
        index.UpdateRecord(record.record, record.key_word, record.explanation, locale);
}

bool TLexicon::TableChangedElsewhere() {
    TakeIn();
    uint32_t now = keys_->ChangeCount();
    return (key_part_ != nullptr && key_part_->change_count != now)
        || (text_part_ != nullptr && text_part_->change_count != now);
}

} // namespace zendo::lexicon
