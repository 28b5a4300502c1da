#pragma once

#include <QPointF>
#include <QSizeF>

namespace tabulon {

// The top-left corner, in twips, that centres a window of the given outer size
// on a screen of the given size: each half taken in single precision, then
// subtracted. Not limited to the screen: a larger window gets negative values.
QPointF CenteredPosition(QSizeF screenTwips, QSizeF windowTwips);

}  // namespace tabulon
