#include "platform/qt/QtControlView.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "platform/UiForm.h"
#include "platform/qt/QtKeys.h"
#include "platform/qt/QtPaintedWidget.h"
#include "platform/qt/QtReportList.h"
#include "platform/qt/QtScale.h"

namespace talvex::platform::qt {

namespace {

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

// Captions and status texts carry CR LF line breaks.
QString ToQLines(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

int ButtonOf(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return kLeftButton;
        case Qt::RightButton:
            return kRightButton;
        case Qt::MiddleButton:
            return kMiddleButton;
        default:
            return 0;
    }
}

}  // namespace

QtControlView::QtControlView(Control& control, QWidget* formWidget) : m_control(control) {
    m_widget = MakeWidget(formWidget);
    m_widget->setObjectName(ToQ(control.Name()) +
                            (control.Index() >= 0 ? QString("(%1)").arg(control.Index()) : ""));
    m_widget->installEventFilter(this);
    if (auto* list = qobject_cast<QAbstractItemView*>(m_widget.data())) {
        list->viewport()->installEventFilter(this);
    }
    Connect();
    ApplyAll();
}

QtControlView::~QtControlView() {
    delete m_widget.data();
}

QWidget* QtControlView::MakeWidget(QWidget* parent) {
    switch (m_control.Kind()) {
        case ControlKind::Label: {
            auto* label = new QLabel(parent);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(parent);
        case ControlKind::OptionButton: {
            auto* option = new QRadioButton(parent);
            option->setAutoExclusive(false);  // the control keeps its group itself
            return option;
        }
        case ControlKind::ListBox:
            return new QListWidget(parent);
        case ControlKind::TextBox:
            return new QLineEdit(parent);
        case ControlKind::PushButton:
            return new QPushButton(parent);
        case ControlKind::Frame:
            return new QGroupBox(parent);
        case ControlKind::Slider:
            return new QSlider(Qt::Horizontal, parent);
        case ControlKind::ReportList:
            return MakeReportList(parent);
        default:
            return new QtPaintedWidget(m_control, parent);
    }
}

template <typename Action>
void QtControlView::FromUser(Action action) {
    if (m_syncing) return;
    QPointer<QtControlView> alive(this);
    action();
    if (alive) ApplyValue();
}

void QtControlView::Connect() {
    Control& c = m_control;
    QWidget* w = m_widget;
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        connect(box, &QCheckBox::clicked, this, [this, &c] { FromUser([&c] { c.UserClick(); }); });
    } else if (auto* option = qobject_cast<QRadioButton*>(w)) {
        connect(option, &QRadioButton::clicked, this,
                [this, &c] { FromUser([&c] { c.UserClick(); }); });
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        connect(button, &QPushButton::clicked, this,
                [this, &c] { FromUser([&c] { c.UserClick(); }); });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        connect(list, &QListWidget::currentRowChanged, this,
                [this, &c](int row) { FromUser([&c, row] { c.UserSelect(row); }); });
        connect(list, &QListWidget::itemDoubleClicked, this,
                [this, &c] { FromUser([&c] { c.UserDblClick(); }); });
    } else if (auto* table = qobject_cast<QTreeWidget*>(w)) {
        connect(table, &QTreeWidget::currentItemChanged, this,
                [this, &c, table](QTreeWidgetItem* item) {
                    const int row = item ? table->indexOfTopLevelItem(item) : -1;
                    FromUser([&c, row] { c.UserSelect(row); });
                });
        connect(table, &QTreeWidget::itemDoubleClicked, this,
                [this, &c] { FromUser([&c] { c.UserDblClick(); }); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        connect(edit, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
            FromUser([&c, &text] { c.UserType(text.toStdString()); });
        });
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
        connect(slider, &QSlider::valueChanged, this,
                [this, &c](int value) { FromUser([&c, value] { c.UserSlide(value); }); });
    }
}

bool QtControlView::TextBoxEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Focus moves and the dialog keys belong to the window, not to the text.
            switch (key->key()) {
                case Qt::Key_Tab:
                case Qt::Key_Backtab:
                case Qt::Key_Return:
                case Qt::Key_Enter:
                case Qt::Key_Escape:
                    return false;
                default:
                    break;
            }
            const QString text = key->text();
            std::int32_t code = key->key() == Qt::Key_Backspace ? 8 : 0;
            if (code == 0 && !text.isEmpty()) {
                code = static_cast<std::int32_t>(text.at(0).unicode());
            }
            // Keys without a character (arrows, Delete, Home) are no typed characters.
            if (code == 0 || !m_control.OnKeyPress) return false;
            return m_control.FilterKey(code) == 0;
        }
        case QEvent::FocusOut: {
            // Only a move to another control counts, not the window losing the front.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                m_control.UserLeave();
            }
            return false;
        }
        case QEvent::ContextMenu:
        case QEvent::Drop:
            // Pasting and dropping would pass by a key filter.
            return static_cast<bool>(m_control.OnKeyPress);
        default:
            return false;
    }
}

bool QtControlView::KeyboardEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            // The menu key arrives as a context-menu event as well; that one counts.
            if (key->key() == Qt::Key_Menu) return true;
            const std::int32_t code = VbKeyOf(*key);
            return code != 0 && m_control.Parent().PreviewKey(code, ShiftOf(*key));
        }
        case QEvent::ContextMenu:
            if (static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard) {
                return false;
            }
            return m_control.Parent().PreviewKey(vbKeyApps, 0);
        case QEvent::FocusIn:
            m_control.Parent().NotifyFocus(&m_control);
            return false;
        default:
            return false;
    }
}

bool QtControlView::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (watched == m_widget) {
        QPointer<QtControlView> alive(this);
        if (KeyboardEvent(event)) return true;
        if (!alive) return true;
    }
    if (m_control.Kind() == ControlKind::TextBox && TextBoxEvent(event)) return true;
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int button = ButtonOf(mouse->button());
    const int shift = ShiftOf(mouse->modifiers());
    const QPoint at = mouse->position().toPoint();
    QPointer<QtControlView> alive(this);
    if (type == QEvent::MouseButtonPress) {
        // The right button selects the line (or row) under the mouse first, so that the
        // menu it opens is that line's; the list's own handling of the press is left out.
        auto* list = qobject_cast<QAbstractItemView*>(m_widget.data());
        if (button == kRightButton && list) {
            const QPoint inView = watched == list ? list->viewport()->mapFrom(list, at) : at;
            SelectRowAt(inView);
            if (!alive) return true;
        }
        m_control.UserMouseDown(button, shift, Twips(at.x()), Twips(at.y()));
        if (button == kRightButton && list) return true;
    } else if (type == QEvent::MouseButtonRelease) {
        m_control.UserMouseUp(button, shift, Twips(at.x()), Twips(at.y()));
        // Labels, pictures and frames have no click signal of their own.
        const auto kind = m_control.Kind();
        if (alive && button == kLeftButton && m_widget && m_widget->rect().contains(at) &&
            (kind == ControlKind::Label || kind == ControlKind::Picture ||
             kind == ControlKind::Frame)) {
            m_control.UserClick();
        }
    } else if (m_control.Kind() != ControlKind::ListBox &&
               m_control.Kind() != ControlKind::ReportList) {
        m_control.UserDblClick();
    }
    return false;
}

void QtControlView::Update(UiProperty what) {
    if (!m_widget) return;
    switch (what) {
        case UiProperty::Caption:
            ApplyCaption();
            break;
        case UiProperty::Value:
            ApplyValue();
            break;
        case UiProperty::Items:
            ApplyItems();
            break;
        case UiProperty::Rect:
            ApplyRect();
            break;
        case UiProperty::Visible:
            m_widget->setVisible(m_control.Visible());
            break;
        case UiProperty::Enabled:
            m_widget->setEnabled(m_control.Enabled());
            break;
        case UiProperty::Picture:
            m_widget->update();
            break;
        case UiProperty::Style:
            ApplyStyle();
            break;
        case UiProperty::Range:
            ApplyRange();
            break;
        case UiProperty::Keyboard:
            ApplyKeyboard();
            break;
        case UiProperty::Focus:
            m_widget->setFocus(Qt::OtherFocusReason);
            break;
        case UiProperty::Columns:
            if (auto* table = qobject_cast<QTreeWidget*>(m_widget.data())) {
                ShowReportColumns(*table, m_control);
                ApplyItems();
            }
            break;
    }
}

void QtControlView::SelectRowAt(QPoint inViewport) {
    if (auto* list = qobject_cast<QListWidget*>(m_widget.data())) {
        const int row = list->row(list->itemAt(inViewport));
        if (row >= 0 && row != list->currentRow()) list->setCurrentRow(row);
    } else if (auto* table = qobject_cast<QTreeWidget*>(m_widget.data())) {
        const int row = ReportRowAt(*table, inViewport);
        if (row >= 0 && row != m_control.ListIndex()) {
            table->setCurrentItem(table->topLevelItem(row));
        }
    }
}

void QtControlView::ApplyKeyboard() {
    Qt::FocusPolicy policy = Qt::NoFocus;
    if (m_control.Kind() == ControlKind::OptionButton) {
        // One stop per group, the selected button; the arrows reach the others.
        policy = m_control.Value() == 1 ? Qt::StrongFocus : Qt::ClickFocus;
    } else if (m_control.TabStop()) {
        policy = Qt::StrongFocus;
    } else if (m_widget->focusPolicy() != Qt::NoFocus) {
        policy = Qt::ClickFocus;
    }
    m_widget->setFocusPolicy(policy);
    if (auto* button = qobject_cast<QPushButton*>(m_widget.data())) {
        button->setDefault(m_control.Default());
    }
    m_widget->setAccessibleName(ToQ(WithoutAccessKey(m_control.Caption())));
}

void QtControlView::ApplyAll() {
    ApplyRect();
    ApplyStyle();
    ApplyCaption();
    if (auto* table = qobject_cast<QTreeWidget*>(m_widget.data())) {
        ShowReportColumns(*table, m_control);
    }
    ApplyItems();
    ApplyRange();
    ApplyValue();
    ApplyKeyboard();
    m_widget->setEnabled(m_control.Enabled());
    m_widget->setVisible(m_control.Visible());
}

void QtControlView::ApplyRect() {
    const TwipsRect& r = m_control.Rect();
    if (m_control.Kind() == ControlKind::Line) {
        // A line's box may run backwards; a straight line is one pixel thick.
        const int x = Px(std::min(r.left, r.left + r.width));
        const int y = Px(std::min(r.top, r.top + r.height));
        m_widget->setGeometry(x, y, std::max(1, Px(std::abs(r.width))),
                              std::max(1, Px(std::abs(r.height))));
        return;
    }
    m_widget->setGeometry(Px(r.left), Px(r.top), Px(r.width), Px(r.height));
}

void QtControlView::ApplyStyle() {
    const ControlStyle& style = m_control.Style();
    QFont font = m_widget->font();
    font.setBold(style.bold);
    if (style.fontPoints > 0) font.setPointSize(style.fontPoints);
    m_widget->setFont(font);
    QPalette palette = m_widget->palette();
    if (style.foreColor) {
        const QColor fore(style.foreColor->r, style.foreColor->g, style.foreColor->b);
        palette.setColor(QPalette::WindowText, fore);
        palette.setColor(QPalette::Text, fore);
        palette.setColor(QPalette::ButtonText, fore);
    }
    if (style.backColor) {
        const QColor back(style.backColor->r, style.backColor->g, style.backColor->b);
        palette.setColor(QPalette::Window, back);
        palette.setColor(QPalette::Base, back);
        m_widget->setAutoFillBackground(true);
    }
    m_widget->setPalette(palette);
    if (auto* label = qobject_cast<QLabel*>(m_widget.data())) label->setWordWrap(style.wordWrap);
    m_widget->setToolTip(QString::fromStdString(style.toolTip));
    m_widget->update();
}

void QtControlView::ApplyCaption() {
    const QString caption = ToQLines(m_control.Caption());
    m_widget->setAccessibleName(ToQ(WithoutAccessKey(m_control.Caption())));
    if (auto* label = qobject_cast<QLabel*>(m_widget.data())) {
        label->setText(caption);
    } else if (auto* button = qobject_cast<QAbstractButton*>(m_widget.data())) {
        button->setText(caption);
    } else if (auto* frame = qobject_cast<QGroupBox*>(m_widget.data())) {
        frame->setTitle(caption);
    } else if (m_control.Kind() == ControlKind::Picture) {
        // A picture that stands for a choice (a language's flag) names it on hover too.
        m_widget->setToolTip(ToQ(WithoutAccessKey(m_control.Caption())));
    }
}

void QtControlView::ApplyValue() {
    if (!m_widget) return;
    m_syncing = true;
    const std::int32_t value = m_control.Value();
    if (auto* box = qobject_cast<QCheckBox*>(m_widget.data())) {
        box->setTristate(value == 2);
        box->setCheckState(value == 1   ? Qt::Checked
                           : value == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
    } else if (auto* option = qobject_cast<QRadioButton*>(m_widget.data())) {
        option->setChecked(value == 1);
        option->setFocusPolicy(value == 1 ? Qt::StrongFocus : Qt::ClickFocus);
    } else if (auto* list = qobject_cast<QListWidget*>(m_widget.data())) {
        list->setCurrentRow(m_control.ListIndex());
        if (m_control.ListIndex() < 0) list->clearSelection();
    } else if (auto* table = qobject_cast<QTreeWidget*>(m_widget.data())) {
        ShowReportSelection(*table, m_control);
    } else if (auto* edit = qobject_cast<QLineEdit*>(m_widget.data())) {
        if (edit->text().toStdString() != m_control.Text()) edit->setText(ToQ(m_control.Text()));
    } else if (auto* slider = qobject_cast<QSlider*>(m_widget.data())) {
        slider->setValue(value);
    }
    m_syncing = false;
}

void QtControlView::ApplyItems() {
    if (auto* table = qobject_cast<QTreeWidget*>(m_widget.data())) {
        m_syncing = true;
        ShowReportRows(*table, m_control);
        m_syncing = false;
        ApplyValue();
        return;
    }
    auto* list = qobject_cast<QListWidget*>(m_widget.data());
    if (!list) return;
    m_syncing = true;
    list->clear();
    for (const std::string& item : m_control.Items()) list->addItem(ToQ(item));
    m_syncing = false;
    ApplyValue();
}

void QtControlView::ApplyRange() {
    auto* slider = qobject_cast<QSlider*>(m_widget.data());
    if (!slider) return;
    m_syncing = true;
    slider->setRange(m_control.Min(), m_control.Max());
    slider->setTickInterval(m_control.TickFrequency());
    slider->setTickPosition(m_control.TickFrequency() > 0 ? QSlider::TicksBelow : QSlider::NoTicks);
    m_syncing = false;
    ApplyValue();
}

}  // namespace talvex::platform::qt
