#include "Translate.h"

#include <libintl.h>

namespace beamlink {

const char* cportText(const char* msgid) {
    return dgettext("cport", msgid);
}

}  // namespace beamlink
