#pragma once

#include <vector>

#include "library/tag_items.h"

namespace TagLib {
class File;
}

namespace morrowdeck::SeratoDatabase::detail {

// The items of a file's main tag (ID3v2 for MPEG, WAV and AIFF; the atoms of MP4; Vorbis
// comments for FLAC and Ogg; APE for Monkey's Audio, WavPack and Musepack), falling back to
// the secondary tag (APE, RIFF INFO, ID3v1) only when the main one is missing. Items keep the
// tag's raw frame and atom names so that the tag rules can test them; ID3v2 frames come in
// file order.
std::vector<TagItem> mainTagItems(TagLib::File& file);

}  // namespace morrowdeck::SeratoDatabase::detail
