#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
class QKeyEvent;
class QWidget;

namespace tv {

// "Accept scanners that type like a keyboard": on unless the user turned it off; kept between runs.
bool keyboardScannersAccepted();
void setKeyboardScannersAccepted(bool on);

// Tells a scanner that types like a keyboard from a person at the keyboard: a burst of at least
// four characters, each less than 30 ms after the one before, ended by Enter or Tab. Key repeat,
// held modifiers and pasting never make a burst. The gaps are measured between the times the keys
// were pressed, as the window system stamped them, not when a busy window got round to them;
// modifier keys pressed alone (Shift for capitals, AltGr) are part of typing a character and
// neither count nor break a burst.
//
// Watches every key press of the application. A scan into a widget of `window` gives that widget
// its text from before the burst back, swallows the Enter or Tab and reports the code; a scan
// while another window is modal (a message box) is ignored, and its Enter never answers the box.
class KeyboardScanDetector : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMinLength = 4;
    static constexpr qint64 kMaxGapMs = 30;

    explicit KeyboardScanDetector(QWidget *window, QObject *parent = nullptr);
    ~KeyboardScanDetector() override;

    // Scans into another window of the program count too (the Stocktake window's list).
    void watch(QWidget *window);

signals:
    void scanned(const QString &code); // queued after the key press that ended the burst

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void reset();
    bool endOfBurst(QWidget *target, qint64 at);
    // When the key was pressed, in milliseconds; events the program made itself carry no stamp
    // and are taken at the time they are handled.
    qint64 pressedAt(const QKeyEvent &key) const;
    bool watches(const QWidget *window) const;

    QPointer<QWidget> m_window;
    QList<QPointer<QWidget>> m_others;
    QElapsedTimer m_unstamped;
    QPointer<QWidget> m_target; // the widget the burst types into
    QString m_before;           // its text before the first character
    int m_cursor = 0;
    QString m_code;
    qint64 m_last = 0;
};

} // namespace tv
