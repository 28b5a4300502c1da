#include "WindowPlacement.h"

namespace tabulon {

QPointF CenteredPosition(QSizeF screenTwips, QSizeF windowTwips) {
    const float top = static_cast<float>(screenTwips.height()) / 2.0f - static_cast<float>(windowTwips.height()) / 2.0f;
    const float left = static_cast<float>(screenTwips.width()) / 2.0f - static_cast<float>(windowTwips.width()) / 2.0f;
    return {left, top};
}

}  // namespace tabulon
