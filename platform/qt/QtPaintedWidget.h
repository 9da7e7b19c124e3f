#pragma once
// The controls Qt has no widget for: pictures, shapes (rounded panels and frames) and
// lines, painted from the control's state.

#include <QWidget>

#include "platform/UiControl.h"

namespace talvex::platform::qt {

class QtPaintedWidget final : public QWidget {
  public:
    QtPaintedWidget(Control& control, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Control& m_control;
};

}  // namespace talvex::platform::qt
