// Text that fits the window's fixed layout. The layout keeps its sizes in
// twips, but a desktop's font may be taller than the line the layout was
// drawn for (GNOME's Cantarell 11 needs 18 px where a field holds 15), and
// the field would cut off descenders and underscores.
#pragma once

#include <QFont>

class QLineEdit;

// The font, or the same family at the largest smaller size whose line is at
// most height pixels high.
QFont FitFont(QFont font, int height);

// The height a line edit draws its text in: inside its frame and margins.
int LineEditTextHeight(const QLineEdit& field);
