#pragma once
// Qt drawing of one control: a widget of the matching kind on the form's widget, kept
// in step with the control's state, and the user's actions passed back to the control.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/UiControl.h"

namespace talvex::platform::qt {

class QtControlView final : public QObject, public IControlView {
    Q_OBJECT
  public:
    QtControlView(Control& control, QWidget* formWidget);
    ~QtControlView() override;

    void Update(UiProperty what) override;
    QWidget* Widget() const { return m_widget; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* MakeWidget(QWidget* parent);
    /// Key filter and focus loss of a text box; true when the event is eaten.
    bool TextBoxEvent(QEvent* event);
    /// Keys for the program's key handlers, the keyboard's context menu, and the focus
    /// arriving; true when the event is eaten.
    bool KeyboardEvent(QEvent* event);
    void ApplyKeyboard();
    /// Selects the line or row at a point of a list's viewport, as a right click does.
    void SelectRowAt(QPoint inViewport);
    void Connect();
    void ApplyRect();
    void ApplyStyle();
    void ApplyCaption();
    void ApplyValue();
    void ApplyItems();
    void ApplyRange();
    void ApplyAll();
    // Runs a user action on the control, then shows the control's state again (the
    // control may refuse or change the value differently from the widget).
    template <typename Action>
    void FromUser(Action action);

    Control& m_control;
    QPointer<QWidget> m_widget;
    bool m_syncing = false;
};

}  // namespace talvex::platform::qt
