#pragma once

// On Windows the registry is the system's own, shared by every test process, so a test cannot get
// one of its own as it does on POSIX (TIDELINK_REGISTRY). Instead each test starts and ends with
// the keys that the plug-in, the stand-in programs and the tests write removed: the plug-in's
// settings and live connections, the renderer installations in the machine's uninstall list, and
// the scratch keys of the registry tests. An uninstall entry without an UninstallString is one of
// ours: every real installer writes one, so the machine's own entries stay.
void ClearSharedRegistry();
