#include "shell/ScaleControls.h"

void ScaleControls(float factorX, float factorY, tk::Form& window) {
    const float fontFactor = (factorX + factorY) / 2;
    const int count = window.ControlCount();
    for (int i = 0; i < count; ++i) {
        tk::Control& c = window.ControlAt(i);
        float left, top, width, height, size;
        if (c.GetKind() == tk::Kind::ComboBox) {
            // A combo box's height is its drop-down's business: leave it.
            if (c.Left(left)) c.SetLeft(left * factorX);
            if (c.Top(top)) c.SetTop(top * factorY);
            if (c.Width(width)) c.SetWidth(width * factorX);
        } else if (c.Left(left) && c.Top(top) && c.Width(width) && c.Height(height)) {
            c.Move(left * factorX, top * factorY, width * factorX, height * factorY);
        }
        if (c.FontSize(size)) c.SetFontSize(size * fontFactor);
    }
}
