// The image library's one message, shown as a message box.
#pragma once

namespace show {

// Registers the message box with the image library; call once at start-up.
void installLibraryMessageBox();

}  // namespace show
