#pragma once
// Showing the secondary windows (modeless, in front, placed over their owner) and placing
// the main window on its screen.
class QWidget;

// Shows the window modeless, or brings it to the front when it is already shown.
void ShowModeless(QWidget* window);
// Moves the window, as it is being shown, so that its frame is centred on the owner's frame.
void CentreOn(QWidget* window, const QWidget* owner);
// Moves the window so that its frame, as far as it is known, is centred on its screen.
void CentreOnScreen(QWidget* window);
