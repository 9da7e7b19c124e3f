#include "platform/qt/QtFormView.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMoveEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <vector>

#include "platform/qt/QtArtwork.h"
#include "platform/qt/QtControlView.h"
#include "platform/qt/QtKeys.h"
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

void QtFormWidget::keyPressEvent(QKeyEvent* event) {
    const std::int32_t code = VbKeyOf(*event);
    const int shift = ShiftOf(*event);
    bool used = false;
    if (code != 0) {
        QPointer<QtFormWidget> alive(this);
        // A control's keys went through the form's key handlers on their way here.
        QWidget* focus = focusWidget();
        if (!focus || focus == this) used = m_form.PreviewKey(code, shift);
        if (!used && alive) used = m_form.DialogKey(code, shift);
        if (!alive) return;
    }
    if (!used) QWidget::keyPressEvent(event);
}

void QtFormWidget::closeEvent(QCloseEvent* event) {
    // The form decides; it hides the widget itself when it closes.
    event->ignore();
    m_form.RequestClose(CloseReason::UserClose);
}

void QtFormWidget::moveEvent(QMoveEvent*) {
    if (!isVisible()) return;
    const QPoint at = pos();
    // Only a real difference counts: the model's twips round to these pixels already.
    if (Px(m_form.Left()) != at.x() || Px(m_form.Top()) != at.y()) {
        m_form.Move(Twips(at.x()), Twips(at.y()));
    }
}

void QtFormWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_form.Border() != FormBorder::Sizable) return;
    const QSize now = size();
    // Only a real difference counts: the model's twips round to these pixels already.
    if (Px(m_form.ClientWidth()) != now.width() ||
        std::max(1, Px(m_form.Height() - kNonClientTwips)) != now.height()) {
        m_form.NotifyResized(Twips(now.width()), Twips(now.height()) + kNonClientTwips);
    }
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
    if (m_form.Border() == FormBorder::Sizable) {
        m_widget->setMinimumSize(Px(m_form.MinClientWidth()),
                                 std::max(0, Px(m_form.MinHeight() - kNonClientTwips)));
        m_widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_widget->resize(width, height);
    } else {
        m_widget->setFixedSize(width, height);
    }
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
            if (m_form.Visible()) ApplyTabOrder();
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

// Keyboard order: the controls that can take the focus, by tab index (those without
// one after them, in the order of creation), and each label's access key leading to its
// buddy. Qt itself skips what is hidden or disabled.
void QtFormView::ApplyTabOrder() {
    std::vector<const Control*> order;
    for (const auto& control : m_form.Controls()) {
        if (control->TabStop() || control->Kind() == ControlKind::OptionButton) {
            order.push_back(control.get());
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        const auto rank = [](const Control* c) {
            return c->TabIndex() < 0 ? INT32_MAX : c->TabIndex();
        };
        return rank(a) < rank(b);
    });
    QWidget* previous = nullptr;
    for (const Control* control : order) {
        QWidget* widget = WidgetOf(control);
        if (!widget) continue;
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    for (const auto& control : m_form.Controls()) {
        if (control->Kind() != ControlKind::Label || control->Buddy().empty()) continue;
        auto* label = qobject_cast<QLabel*>(WidgetOf(control.get()));
        if (label) label->setBuddy(WidgetOf(m_form.Find(control->Buddy())));
    }
}

QWidget* QtFormView::WidgetOf(const Control* control) {
    auto* view = control ? dynamic_cast<QtControlView*>(control->View()) : nullptr;
    return view ? view->Widget() : nullptr;
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
