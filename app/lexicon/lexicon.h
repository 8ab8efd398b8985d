// TLexicon: the word services of the glossary window in one object. Two workers build, once
// and each through a session of its own on the window's engine: the Turkish stemmer with the
// "did you mean" index of the key words (a scan of the key-word index, under a second at
// 371,000 words), and the index of the explanations (a scan of every memo, some seconds). Each
// service answers as soon as its part is in; the lexicon follows the window's own changes of
// records through KeyWordChanged.
// Thread-safety: every member function is for the thread of the session that owns `directory`
// (the window's). The workers touch nothing of that session. Lifetime: destroy the lexicon
// before the engine stops; the destructor stops the running builds and waits for them.
#pragma once

#include "app/lexicon/did_you_mean.h"
#include "app/lexicon/explanation_search.h"
#include "app/lexicon/stems.h"

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {
class TDataDirectory;
class TDataEngine;
} // namespace zolvek

namespace zendo::lexicon {

class TGlossaryKeys;

struct TLexiconOptions {
    std::string table_name = "datalar";
    std::vector<std::string>
        passwords; // for an encrypted glossary: the workers' sessions need them
    std::string affix_file = kTurkishAffixFile;
    std::string dictionary_file = kTurkishDictionaryFile;
};

class TLexicon {
public:
    // Opens a read-only cursor of its own on the table (engine errors propagate) and starts the
    // builds.
    explicit TLexicon(zolvek::TDataDirectory& directory, TLexiconOptions options = {});
    ~TLexicon();
    TLexicon(const TLexicon&) = delete;
    TLexicon& operator=(const TLexicon&) = delete;

    // Take in a finished part without waiting: true once stems and "did you mean" answer, and
    // once the search inside explanations does. A build that failed raises its error from the
    // next call that takes parts in (any member but the destructor), once: std::exception or
    // EZOLVEKEngineError. Its services then stay empty until Rebuild.
    bool Ready();
    bool ExplanationsReady();
    void WaitUntilReady(); // both parts
    // Starts fresh builds of both parts (not of one still running); the present indexes answer
    // until the new ones are in.
    void Rebuild();

    // Before their part is in these answer nothing (empty lists, no records).
    // The stems of the typed word that the glossary holds, most specific first, as stored.
    std::vector<std::string> Stems(std::string_view typed);
    // The key words closest to the typed word (see did_you_mean.h).
    std::vector<TSuggestion> DidYouMean(
        std::string_view typed, size_t count = 5, double max_distance = 2.0);
    // What to offer when the typed word matches nothing in the active search mode: its stems
    // that the glossary holds, else the closest key words, else nothing.
    struct TOffer {
        enum class TKind { okNothing, okStems, okDidYouMean } kind = TKind::okNothing;
        std::vector<std::string> key_words; // as stored, best first
    };
    TOffer Offer(std::string_view typed, size_t count = 5);
    // The records whose key word or explanation holds every typed word, first rows ranked
    // (see explanation_search.h).
    TExplanationResult SearchExplanations(std::string_view text, size_t row_limit = 20);

    // After the window added, corrected or deleted a record with this key word (for a changed
    // key word: call it with the old and with the new one): the records that hold it are read
    // again through the engine. A part still building applies it again when it is taken in.
    void KeyWordChanged(std::string_view key_word);
    // True when the table changed since a part was built other than through KeyWordChanged
    // (another program, or an edit not reported), and while a rebuild runs: the window may call
    // Rebuild. A change elsewhere that lands before one of the window's own, reported ones is
    // taken for the window's: ask before editing, too.
    bool TableChangedElsewhere();

private:
    struct TKeyPart;
    struct TTextPart;
    static std::unique_ptr<TKeyPart> BuildKeyPart(zolvek::TDataEngine* engine, std::string path,
        TLexiconOptions options, const std::atomic<bool>* cancel);
    static std::unique_ptr<TTextPart> BuildTextPart(zolvek::TDataEngine* engine, std::string path,
        TLexiconOptions options, const std::atomic<bool>* cancel);
    void TakeIn();
    void ApplyToKeys(std::string_view key_word, size_t records_before, size_t records_now);
    void ApplyToText(std::string_view key_word);

    zolvek::TDataDirectory& directory_;
    TLexiconOptions options_;
    std::unique_ptr<TGlossaryKeys> keys_;
    std::unique_ptr<TKeyPart> key_part_;
    std::unique_ptr<TTextPart> text_part_;
    std::future<std::unique_ptr<TKeyPart>> building_keys_;
    std::future<std::unique_ptr<TTextPart>> building_text_;
    std::atomic<bool> cancel_ { false };
    // Key words reported while a part was building, to apply again when it is in.
    std::vector<std::string> pending_for_keys_;
    std::vector<std::string> pending_for_text_;
};

} // namespace zendo::lexicon
