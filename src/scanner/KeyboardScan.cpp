#include "KeyboardScan.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSettings>
#include <algorithm>
#include <optional>

namespace tv {

namespace {
const QString kAcceptKey = QStringLiteral("Scanner/AcceptKeyboardScanners");
std::optional<bool> s_accepted; // read once; key presses are too frequent for the settings file

QLineEdit *textOf(QWidget *w)
{
    if (auto *edit = qobject_cast<QLineEdit *>(w)) return edit;
    if (auto *combo = qobject_cast<QComboBox *>(w)) return combo->lineEdit();
    return nullptr;
}
} // namespace

bool keyboardScannersAccepted()
{
    if (!s_accepted) s_accepted = QSettings().value(kAcceptKey, true).toBool();
    return *s_accepted;
}

void setKeyboardScannersAccepted(bool on)
{
    s_accepted = on;
    QSettings().setValue(kAcceptKey, on);
}

KeyboardScanDetector::KeyboardScanDetector(QWidget *window, QObject *parent)
    : QObject(parent), m_window(window)
{
    m_unstamped.start();
    qApp->installEventFilter(this);
}

KeyboardScanDetector::~KeyboardScanDetector()
{
    qApp->removeEventFilter(this);
}

void KeyboardScanDetector::watch(QWidget *window)
{
    m_others.removeIf([](const QPointer<QWidget> &w) { return w.isNull(); });
    if (window && !m_others.contains(window)) m_others << window;
}

bool KeyboardScanDetector::watches(const QWidget *window) const
{
    return window == m_window || std::any_of(m_others.begin(), m_others.end(),
                                             [window](const QPointer<QWidget> &w) { return w == window; });
}

void KeyboardScanDetector::reset()
{
    m_target = nullptr;
    m_code.clear();
    m_before.clear();
}

qint64 KeyboardScanDetector::pressedAt(const QKeyEvent &key) const
{
    const auto stamp = static_cast<qint64>(key.timestamp());
    return stamp != 0 ? stamp : m_unstamped.elapsed();
}

namespace {
// A stamp that went backwards (the window system's clock wrapped) is no short gap.
bool shortGap(qint64 last, qint64 now)
{
    return now >= last && now - last < KeyboardScanDetector::kMaxGapMs;
}

// Keys that only change what the next key types.
bool modifierOnly(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}
} // namespace

bool KeyboardScanDetector::endOfBurst(QWidget *target, qint64 at)
{
    const bool scan = m_target == target && m_code.size() >= kMinLength && shortGap(m_last, at);
    if (!scan) {
        reset();
        return false;
    }
    const QString code = m_code;
    const bool modalElsewhere = QApplication::activeModalWidget() && !watches(target->window());
    if (!modalElsewhere) {
        // The characters were never the user's: the field gets its text back, which the
        // binding then takes as no change.
        if (QLineEdit *edit = textOf(target)) {
            edit->setText(m_before);
            edit->setCursorPosition(m_cursor);
        }
        QMetaObject::invokeMethod(
            this, [this, code] { emit scanned(code); }, Qt::QueuedConnection);
    } else if (textOf(target)) {
        // A code typed into a modal box's text field is just typing, Enter included.
        reset();
        return false;
    }
    reset();
    return true;
}

bool KeyboardScanDetector::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_window || !keyboardScannersAccepted()) return false;
    auto *target = qobject_cast<QWidget *>(watched);
    // A key press travels up to the parents when a widget ignores it: count it once.
    if (!target || target != QApplication::focusWidget()) return false;
    const bool inWindow = watches(target->window());
    if (!inWindow && !QApplication::activeModalWidget()) return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // Shift before a capital, AltGr before a symbol: the character that follows is what counts.
    if (modifierOnly(key->key()) && !key->isAutoRepeat()) return false;
    if (key->isAutoRepeat() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        reset();
        return false;
    }
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
        return endOfBurst(target, pressedAt(*key));
    default:
        break;
    }
    const QString text = key->text();
    if (text.isEmpty() || !text.at(0).isPrint()) {
        reset();
        return false;
    }
    const qint64 now = pressedAt(*key);
    if (m_target != target || m_code.isEmpty() || !shortGap(m_last, now)) {
        reset();
        m_target = target;
        if (QLineEdit *edit = textOf(target)) {
            m_before = edit->text();
            m_cursor = edit->cursorPosition();
        }
    }
    m_code += text;
    m_last = now;
    return false;
}

} // namespace tv
