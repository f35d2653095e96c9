#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;

namespace tv {

// "Accept scanners that type like a keyboard": on unless the user turned it off; kept between runs.
bool keyboardScannersAccepted();
void setKeyboardScannersAccepted(bool on);

// Tells a scanner that types like a keyboard from a person at the keyboard: a burst of at least
// four characters, each less than 30 ms after the one before, ended by Enter or Tab. Key repeat,
// held modifiers and pasting never make a burst.
//
// Watches every key press of the application. A scan into a widget of `window` gives that widget
// its text from before the burst back, swallows the Enter or Tab and reports the code; a scan
// while another window is modal (a message box) is ignored, and its Enter never answers the box.
class KeyboardScanDetector : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // milliseconds, steady

    static constexpr int kMinLength = 4;
    static constexpr qint64 kMaxGapMs = 30;

    explicit KeyboardScanDetector(QWidget *window, QObject *parent = nullptr);
    ~KeyboardScanDetector() override;

    void setClock(Clock clock) { m_clock = std::move(clock); }

signals:
    void scanned(const QString &code); // queued after the key press that ended the burst

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reset();
    bool endOfBurst(QWidget *target);

    QPointer<QWidget> m_window;
    Clock m_clock;
    QPointer<QWidget> m_target; // the widget the burst types into
    QString m_before;           // its text before the first character
    int m_cursor = 0;
    QString m_code;
    qint64 m_last = 0;
};

} // namespace tv
