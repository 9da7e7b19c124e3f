#include "platform/qt/QtFormView.h"

#include <QCloseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "platform/qt/QtArtwork.h"
#include "platform/qt/QtControlView.h"
#include "platform/qt/QtScale.h"

namespace talvex::platform::qt {

namespace {
Qt::WindowFlags FlagsOf(FormBorder border) {
    Qt::WindowFlags flags =
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (border == FormBorder::FixedToolWindow) flags |= Qt::Tool;
    if (border == FormBorder::Sizable) flags |= Qt::WindowMinMaxButtonsHint;
    return flags;
}
}  // namespace

QtFormWidget::QtFormWidget(Form& form) : QWidget(nullptr, FlagsOf(form.Border())), m_form(form) {
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
}

void QtFormWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Rgb& back = m_form.BackColor();
    painter.fillRect(rect(), QColor(back.r, back.g, back.b));
    const Picture& picture = m_form.BackPicture();
    if (picture.empty()) return;
    // The picture keeps its own size, from the top left corner, cut off at the edges.
    const QSize natural = ArtworkSize(picture);
    const QSize size(Px(natural.width() * 15), Px(natural.height() * 15));
    painter.drawPixmap(0, 0, ArtworkPixmap(picture, size, devicePixelRatioF()));
}

void QtFormWidget::closeEvent(QCloseEvent* event) {
    // The form decides; it hides the widget itself when it closes.
    event->ignore();
    m_form.RequestClose(CloseReason::UserClose);
}

void QtFormWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_announce = true;
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
}

bool QtFormWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && m_announce && watched == windowHandle() &&
        windowHandle()->isExposed()) {
        m_announce = false;
        QTimer::singleShot(0, this, [this] { m_form.NotifyShown(); });
    }
    return false;
}

QtFormView::QtFormView(Form& form)
    : m_form(form), m_widget(new QtFormWidget(form)), m_border(form.Border()) {
    m_widget->setObjectName(QString::fromStdString(form.Name()));
    Update(UiProperty::Caption);
    Update(UiProperty::Picture);
    ApplyGeometry();
}

QtFormView::~QtFormView() {
    delete m_widget.data();
}

void QtFormView::ApplyGeometry() {
    const int width = Px(m_form.ClientWidth());
    const int height = std::max(1, Px(m_form.Height() - kNonClientTwips));
    m_widget->setFixedSize(width, height);
    m_widget->move(Px(m_form.Left()), Px(m_form.Top()));
}

void QtFormView::Update(UiProperty what) {
    if (!m_widget) return;
    switch (what) {
        case UiProperty::Caption:
            m_widget->setWindowTitle(QString::fromStdString(m_form.Caption()));
            break;
        case UiProperty::Rect:
            ApplyGeometry();
            break;
        case UiProperty::Visible:
            m_widget->setVisible(m_form.Visible());
            break;
        case UiProperty::Picture:
            if (!m_form.Icon().empty()) m_widget->setWindowIcon(ArtworkIcon(m_form.Icon()));
            break;
        case UiProperty::Style:
            if (m_border != m_form.Border()) {
                m_border = m_form.Border();
                m_widget->setWindowFlags(FlagsOf(m_border));
                m_widget->setVisible(m_form.Visible());
            }
            m_widget->update();
            break;
        default:
            break;
    }
}

// Keyboard order: controls with a tab index first, by that index, then the others.
void QtFormView::ApplyTabOrder() {
    std::vector<const Control*> order;
    for (const auto& control : m_form.Controls()) {
        if (control->TabIndex() >= 0) order.push_back(control.get());
    }
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        return a->TabIndex() < b->TabIndex();
    });
    QWidget* previous = nullptr;
    for (const Control* control : order) {
        auto* view = dynamic_cast<QtControlView*>(control->View());
        QWidget* widget = view ? view->Widget() : nullptr;
        if (!widget) continue;
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

std::unique_ptr<IControlView> QtFormView::CreateControlView(Control& control) {
    return std::make_unique<QtControlView>(control, m_widget);
}

WindowHandle QtFormView::Handle() {
    return m_widget ? m_widget->winId() : 0;
}

void QtFormView::Activate() {
    if (!m_widget) return;
    m_widget->raise();
    m_widget->activateWindow();
}

}  // namespace talvex::platform::qt
