// The image's web link, put into the clipboard before the upload starts.
#pragma once

#include "capture/chosen_image.h"
#include "platform/platform.h"

#include <string>

// "http://" + link prefix + "/" + ImageName, with the size appended when
// wanted: a space, then bytes ("b") up to 1024 and whole kilobytes ("kb")
// above.
std::string FormatLink(const char* linkPrefix, const char* imagePrefix, const plat::SYSTEMTIME& time,
                       const ChosenImage& image, bool withSize);
// Forms the link, the size chosen by the settings window's "Add size to
// link:" box as it is now, and hands it to the clipboard as CF_TEXT. Returns
// whether the clipboard took it. Never ends the capture itself: a clipboard
// held by another program (after a short wait), or one that cannot take the
// text, is logged and the upload still runs.
bool PutLinkOnClipboard(const char* linkPrefix, const char* imagePrefix, const plat::SYSTEMTIME& time,
                        const ChosenImage& image);
