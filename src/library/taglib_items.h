#pragma once

#include <vector>

#include "library/tag_items.h"

namespace TagLib {
class File;
namespace ID3v2 {
class FrameFactory;
}
}  // namespace TagLib

namespace morrowdeck::SeratoDatabase::detail {

// The items of a file's main tag (ID3v2 for MPEG, WAV and AIFF; the atoms of MP4; Vorbis
// comments for FLAC and Ogg; APE for Monkey's Audio, WavPack and Musepack), falling back to
// the secondary tag (APE, RIFF INFO, ID3v1) only when the main one is missing. Items keep the
// tag's raw frame and atom names so that the tag rules can test them; ID3v2 frames come in
// file order.
std::vector<TagItem> mainTagItems(TagLib::File& file);

// An ID3v2 frame factory that keeps genre frames as they are written. TagLib's own rewrites
// them and drops a genre number that has no ID3v1 name ("(200)") with all its text.
TagLib::ID3v2::FrameFactory* genreKeepingFrameFactory();

}  // namespace morrowdeck::SeratoDatabase::detail
