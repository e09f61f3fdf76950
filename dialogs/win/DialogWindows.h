// The two parameter dialogs as Win32 modal windows, built in memory from their stored designs
// (positions and sizes in twips, converted with the screen's DPI). Each showing builds the window
// afresh with the designed texts, calls the model's BeginShowing, and hands OK and Cancel to the
// model: an OK the model rejects shows "Please enter a number" and leaves the window open with
// the texts as typed. The windows have no visible owner (a hidden one keeps them off the
// taskbar) and are centred on the screen.
#pragma once

#include "dialogs/Dialogs.h"
#include "dialogs/NumberReader.h"

namespace corvane::win {

// Both return when the window has closed. A window that cannot be created raises a RunFailure.
void ShowInitialExposureDialog(InitialExposureDialog& model, const NumberReader& reader);
void ShowGuideSetupDialog(GuideSetupDialog& model, const NumberReader& reader);

}  // namespace corvane::win
