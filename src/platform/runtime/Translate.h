#pragma once
// Captions and messages pass through the "cport" text domain; with no catalogue installed the
// English text stands.

namespace beamlink {

const char* cportText(const char* msgid);

}  // namespace beamlink
