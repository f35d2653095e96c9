#pragma once

#include <QTimer>
#include <QWidget>

class QFrame;
class QLabel;

namespace tv {

// The start-up window: product name, version and logo for about three seconds, then the main
// window.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QLabel *lblProductName() const { return m_lblProductName; }
    QLabel *lblVersion() const { return m_lblVersion; }
    QTimer &Timer1() { return m_timer1; }
    QTimer &Timer2() { return m_timer2; }

public slots:
    void Timer2_Timer();
    void Timer1_Timer();

private:
    void Form_Load();

    QFrame *m_frame = nullptr;
    QLabel *m_lblProductName = nullptr;
    QLabel *m_lblVersion = nullptr;
    QTimer m_timer1;
    QTimer m_timer2;
};

} // namespace tv
