// The configuration block that follows the stub image, the resolution of its
// destination text and the payload size check.
#pragma once

// Reads the block at StubSize, sets ArchiveBase, the four texts and the option
// flags, resolves the destination, runs the size check and shows the start
// message. Gives false when the program must end (bad block, failed size
// check, start message declined); the message has then been shown.
bool ReadConfiguration();
// Shows the start message; false when the user declined it.
bool ShowStartMessage();
// Turns a registry reference or "><" in DefaultFolder into a folder.
void ResolveDefaultFolder();
// True when the file ends exactly where the ZIP end record says; otherwise
// shows the size message and gives false. Keeps the file position.
bool VerifyArchiveSize();
