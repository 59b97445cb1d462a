#pragma once

#include <string>
#include <string_view>

// Unicode-aware helpers over UTF-8 text (ICU underneath). Names are compared with
// canonical equivalence; file paths are never normalised and never pass through here.
namespace morrowdeck::text {

// The NFC form of the text, for use as a map key: composed and decomposed spellings of one
// name give the same key. Invalid UTF-8 is returned unchanged.
std::string nfcKey(std::string_view text);

// The case-folded NFC form: a key under which two names are the same file on a file system
// that ignores case and normalisation (exFAT, FAT, APFS and HFS+ by default). Invalid UTF-8
// is returned with only its ASCII letters folded.
std::string foldedKey(std::string_view text);

// The NFD (fully decomposed) form of the text, the spelling macOS file systems store.
// Invalid UTF-8 is returned unchanged.
std::string nfdForm(std::string_view text);

// The text without leading and trailing tabs and Unicode space separators (category Zs,
// which includes the no-break and ideographic spaces). Line breaks are kept.
std::string trimSeparators(std::string_view text);

// True when needle occurs in haystack under full case folding of their NFC forms
// ("STRASSE" is found in "Straße"). An empty needle is always found.
bool containsCaseInsensitive(std::string_view haystack, std::string_view needle);

// The same, also ignoring accents and other combining marks on either side, as a person
// searching expects: "fete" finds "Fête", "FÊTE" finds "Fete". Letters that are not a base
// letter with marks ("ø", "ß") are compared as they are, after folding.
bool containsIgnoringCaseAndAccents(std::string_view haystack, std::string_view needle);

}  // namespace morrowdeck::text
