#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the host can see of the renderers beside it, without taking the plug-in's word: whether
// one runs, whether one has read the link document of this process, and where a renderer that
// the plug-in launched says why it could not start.

// The link document this process owns, as its header and the renderers' record show it now.
struct LinkReads {
  uint32_t committed = 0;  // the header version: one more per commit with changes
  uint32_t read = 0;       // the highest header version a renderer has recorded as read
  bool readerHoldsLock = false;  // another process holds the document's lock: it is reading
};

// Of the announced link documents, the one whose owner is this process; nothing when there is
// none or its memory does not look like a link document.
std::optional<LinkReads> OwnLinkReads();

// Whether a renderer runs that may read this link: a live Ombrel.exe with a message window in this
// user's runtime folder, or the program of a renderer installed in this registry (one the
// plug-in launched may not have opened its window yet). Renderers of other users or set-ups do
// not count.
bool RendererRunning();

// The launch log of a renderer that the plug-in started (TideLink.log in OMBREL_OUTPUT_DIR)
// when it exists and says something; nothing otherwise or when the variable is not set.
std::optional<std::string> RendererLaunchLog();
