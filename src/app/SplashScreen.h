#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

class QFrame;
class QLabel;

namespace tv {

// The start-up window: product name, version and logo for about three seconds, then whatever
// the program starts with (the main window), handed in by whoever shows the splash.
class SplashScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SplashScreen(std::function<void()> whenDone, QWidget *parent = nullptr);

    QLabel *lblProductName() const { return m_lblProductName; }
    QLabel *lblVersion() const { return m_lblVersion; }
    QTimer &closeTimer() { return m_closeTimer; }
    QTimer &showTimer() { return m_showTimer; }

public slots:
    void showSplash();
    void finish();

private:
    void load();

    QFrame *m_frame = nullptr;
    QLabel *m_lblProductName = nullptr;
    QLabel *m_lblVersion = nullptr;
    std::function<void()> m_whenDone;
    QTimer m_closeTimer;
    QTimer m_showTimer;
};

} // namespace tv
