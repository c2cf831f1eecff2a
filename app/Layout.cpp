#include "app/Layout.h"

namespace layout {

void Form_Resize(float windowWidth, float windowHeight, ResizeControls& controls,
                 const WholeItemsHeight& instanceListHeight) {
    // Widths: the event list, the instance list and the transcript end 300 twips short of the right edge.
    const float a = windowWidth - controls.LstErrors.Left - 300.0f;
    if (a > 0.0f) {
        controls.LstErrors.Width = a;
        controls.lstinstances.Width = controls.LstErrors.Width;
        controls.txtTranscript.Width = controls.LstErrors.Width;
    }

    // The file list reaches down to 800 twips above the bottom edge.
    const float b = windowHeight - controls.lstFiles.Top - 800.0f;
    if (b > 0.0f)
        controls.lstFiles.Height = b;

    // The instance list takes what is left above the transcript label and box, which sit right under it.
    const float c = windowHeight - controls.lstinstances.Top - controls.txtTranscript.Height -
                    controls.lblTranscript.Height - 800.0f;
    if (c > 0.0f) {
        controls.lstinstances.Height = instanceListHeight ? instanceListHeight(c) : c;
        controls.lblTranscript.Top = controls.lstinstances.Top + controls.lstinstances.Height + 30.0f;
        controls.txtTranscript.Top = controls.lblTranscript.Top + controls.lblTranscript.Height;
    }
}

} // namespace layout
