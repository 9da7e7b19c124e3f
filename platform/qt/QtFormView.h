#pragma once
// Qt drawing of a form: a top-level widget with the form's colour, background picture,
// icon, caption and size, whose title-bar close asks the form instead of closing.

#include <QPointer>
#include <QWidget>

#include "platform/UiForm.h"

namespace talvex::platform::qt {

class QtFormWidget final : public QWidget {
  public:
    explicit QtFormWidget(Form& form);

  protected:
    void paintEvent(QPaintEvent* event) override;
    /// Keys no control used: Enter, Escape, and keys while no control has the focus.
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    /// The user moved the window: the form learns its new place, so a saved position
    /// is where the user left the window.
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Form& m_form;
    bool m_announce = false;  // the next expose tells the form it is on screen
};

class QtFormView final : public IFormView {
  public:
    explicit QtFormView(Form& form);
    ~QtFormView() override;

    void Update(UiProperty what) override;
    std::unique_ptr<IControlView> CreateControlView(Control& control) override;
    WindowHandle Handle() override;
    void Activate() override;
    QWidget* Widget() const { return m_widget; }

  private:
    void ApplyGeometry();
    void ApplyTabOrder();
    static QWidget* WidgetOf(const Control* control);

    Form& m_form;
    QPointer<QtFormWidget> m_widget;
    FormBorder m_border;
};

}  // namespace talvex::platform::qt
