// The table of every message key with its built-in English text, and the helpers
// that turn a key into the user's text (translated when the language file has it).
#pragma once

#include "media/common/media_error.h"
#include "media/input/source_kind.h"
#include "media/input/wave_choose.h"

#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

struct TMessageText {
    const char *key;       // language-file key ("ErrOpenVid", "WrdYes", ...)
    const char *english;   // built-in text used when the key is not translated
};

// The message and word keys in alphabetical order (media error identifiers are
// not part of it; see DefaultText).
const std::vector<TMessageText> &MessageTexts();

// The English text of a message key or of a media error identifier ("meFileOpen");
// empty for an unknown key.
std::string DefaultText(std::string_view key);

// The key translated through the current language, else its English text.
std::string Msg(std::string_view key);

// A media error code's message translated under its identifier, else its English text.
std::string MediaErrorMsg(TMediaError code);

// The user-facing error sentence of the media layer (`lead`, an empty line, the code's
// message and ".") with the message translated through the current language. A code
// of meOk counts as meUnknown (a failure without a reason).
std::string TranslatedErrorSentence(const std::string &lead, TMediaError code);
// The same with the reason a reader gave (when known) after the code's message:
// "File format not supported: block align 3 does not match 2 channels of 16 bits (4 bytes)."
std::string TranslatedErrorSentence(const std::string &lead, TMediaError code, const TMediaProblem &problem);

// A reader's reason in the current language ("" when none is known), naming the stream
// when it concerns one.
std::string MediaProblemText(const TMediaProblem &problem);

// A source front-end's description in the current language ("OpenDML video").
std::string SourceDescriptionText(const TSourceDescription &description);

// The open dialogs' entries with the labels of the program's own entries filled in from
// their message keys (the patterns in brackets after each).
std::vector<TChooseFilter> LabelChooseFilters(std::vector<TChooseFilter> filters);

// Fills a message pattern: each "%s" or "%d" takes the next argument in turn (a
// missing argument gives nothing), "%%" gives "%", any other "%" stays as it is.
// Safe for patterns from a language file whatever placeholders they hold.
std::string FormatText(const std::string &pattern, const std::vector<std::string> &args);

} // namespace tessaly
