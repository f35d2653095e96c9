#include "ScriptedPrompts.h"
#include "app/ScreenFit.h"
#include "app/ScreenScaling.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtTest>

using namespace tv;
using namespace tv::screenfit;

namespace {

// A design-time window: 12000 x 9000 twips at 600, 450 with one ordinary control 1200 x 1000 at
// 2400, 1600.
FormModel designForm(double fontSize)
{
    FormModel f;
    f.left = 600;
    f.top = 450;
    f.width = 12000;
    f.height = 9000;
    ControlModel c;
    c.font = FontSpec{fontSize, QStringLiteral("Tahoma")};
    c.left = 2400;
    c.top = 1600;
    c.width = 1200;
    c.height = 1000;
    f.controls.push_back(c);
    return f;
}

} // namespace

class TestScreenFit : public QObject
{
    Q_OBJECT
private slots:
    void screens_data()
    {
        QTest::addColumn<int>("screenW");
        QTest::addColumn<int>("screenH");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("fontIn");
        QTest::addColumn<QRectF>("formOut"); // left, top, width, height in twips
        QTest::addColumn<QRectF>("controlOut");
        QTest::addColumn<double>("fontOut");
        QTest::addColumn<QString>("faceOut");

        const QRectF designForm(600, 450, 12000, 9000);
        const QRectF designControl(2400, 1600, 1200, 1000);
        for (int mode : {0, 2, 1, 7}) {
            QTest::addRow("design screen, mode %d", mode)
                << 1280 << 1024 << 96 << mode << 8.0 << designForm << designControl << 8.0 << "Tahoma";
        }

        const QRectF small(1920, 1200, 960, 750);
        QTest::newRow("1024x768 mode 0, 8 pt")
            << 1024 << 768 << 96 << 0 << 8.0 << QRectF(600, 450, 9600, 6750) << small << 7.5 << "Small Fonts";
        QTest::newRow("1024x768 mode 0, 10 pt")
            << 1024 << 768 << 96 << 0 << 10.0 << QRectF(600, 450, 9600, 6750) << small << 8.0 << "Tahoma";
        QTest::newRow("1024x768 mode 0, 6 pt")
            << 1024 << 768 << 96 << 0 << 6.0 << QRectF(600, 450, 9600, 6750) << small << 5.5 << "Small Fonts";
        QTest::newRow("1024x768 mode 2")
            << 1024 << 768 << 96 << 2 << 8.0 << QRectF(0, 0, 15360, 11520) << small << 7.5 << "Small Fonts";
        QTest::newRow("1024x768 other mode leaves the window")
            << 1024 << 768 << 96 << 1 << 10.0 << designForm << small << 8.0 << "Tahoma";

        const QRectF large(3000, 1875, 1500, 1171.875);
        QTest::newRow("1600x1200 mode 0, 8 pt grows")
            << 1600 << 1200 << 96 << 0 << 8.0 << QRectF(600, 450, 15000, 10546.875) << large << 10.0
            << "Tahoma";
        QTest::newRow("1600x1200 mode 0, 6 pt grows")
            << 1600 << 1200 << 96 << 0 << 6.0 << QRectF(600, 450, 15000, 10546.875) << large << 7.5
            << "Tahoma";
        QTest::newRow("1600x1200 mode 2")
            << 1600 << 1200 << 96 << 2 << 12.0 << QRectF(0, 0, 24000, 18000) << large << 15.0 << "Tahoma";

        // Large fonts: the first pass has factors of 1, the second shrinks everything to 0.8.
        const QRectF shrunk(1920, 1280, 960, 800);
        QTest::newRow("large fonts 1280x1024 mode 0, 8 pt")
            << 1280 << 1024 << 120 << 0 << 8.0 << QRectF(600, 450, 9600, 7200) << shrunk << 7.5
            << "Small Fonts";
        QTest::newRow("large fonts 1280x1024 mode 0, 12 pt")
            << 1280 << 1024 << 120 << 0 << 12.0 << QRectF(600, 450, 9600, 7200) << shrunk << 9.6 << "Tahoma";
        QTest::newRow("large fonts 1280x1024 mode 2")
            << 1280 << 1024 << 120 << 2 << 12.0 << QRectF(0, 0, 15360, 12288) << shrunk << 9.6 << "Tahoma";

        // Both passes: 8 pt loses half a point twice; 10 pt becomes 8 and then 7.5.
        const QRectF twice(1536, 960, 768, 600);
        QTest::newRow("large fonts 1024x768, 8 pt reduced twice")
            << 1024 << 768 << 120 << 0 << 8.0 << QRectF(600, 450, 7680, 5400) << twice << 7.0
            << "Small Fonts";
        QTest::newRow("large fonts 1024x768, 10 pt")
            << 1024 << 768 << 120 << 0 << 10.0 << QRectF(600, 450, 7680, 5400) << twice << 7.5
            << "Small Fonts";
        QTest::newRow("large fonts 1024x768 mode 2")
            << 1024 << 768 << 120 << 2 << 10.0 << QRectF(0, 0, 12288, 9216) << twice << 7.5 << "Small Fonts";
    }
    void screens()
    {
        QFETCH(int, screenW);
        QFETCH(int, screenH);
        QFETCH(int, dpi);
        QFETCH(int, mode);
        QFETCH(double, fontIn);
        QFETCH(QRectF, formOut);
        QFETCH(QRectF, controlOut);
        QFETCH(double, fontOut);
        QFETCH(QString, faceOut);

        FormModel f = designForm(fontIn);
        fitFormToScreen(f, std::int16_t(mode), ScreenInfo::fromPixels(screenW, screenH, dpi));

        QCOMPARE(QRectF(*f.left, *f.top, *f.width, *f.height), formOut);
        const ControlModel &c = f.controls.front();
        QCOMPARE(QRectF(*c.left, *c.top, *c.width, *c.height), controlOut);
        QCOMPARE(c.font->size, fontOut);
        QCOMPARE(c.font->face, faceOut);
    }

    void factors_data()
    {
        QTest::addColumn<int>("screenW");
        QTest::addColumn<int>("screenH");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<double>("h");
        QTest::addColumn<double>("v");
        QTest::addColumn<double>("font");
        QTest::newRow("design") << 1280 << 1024 << 96 << 1.0 << 1.0 << 1.0;
        QTest::newRow("1024x768") << 1024 << 768 << 96 << 0.8 << 0.75 << 1.0;
        QTest::newRow("1600x1200") << 1600 << 1200 << 96 << 1.25 << 1200.0 / 1024 << 1.0;
        QTest::newRow("large fonts") << 1280 << 1024 << 120 << 1.0 << 1.0 << 0.8;
        QTest::newRow("other density counts as large") << 1920 << 1080 << 144 << 1.5 << 1080.0 / 1024 << 0.8;
    }
    void factors()
    {
        QFETCH(int, screenW);
        QFETCH(int, screenH);
        QFETCH(int, dpi);
        QFETCH(double, h);
        QFETCH(double, v);
        QFETCH(double, font);
        const Factors f = factorsFor(ScreenInfo::fromPixels(screenW, screenH, dpi));
        QCOMPARE(f.horizontal, h);
        QCOMPARE(f.vertical, v);
        QCOMPARE(f.font, font);
    }

    // Each kind scales its own properties, each by the factor of its direction.
    void kinds()
    {
        FormModel f;
        ControlModel line;
        line.kind = ControlKind::Line;
        line.x1 = 100;
        line.y1 = 200;
        line.x2 = 1100;
        line.y2 = 600;
        ControlModel picture;
        picture.kind = ControlKind::PictureBox;
        picture.left = 1000;
        picture.top = 400;
        picture.width = 2000;
        picture.height = 1600;
        picture.scaleWidth = 200;
        picture.scaleHeight = 160;
        ControlModel toolbar;
        toolbar.kind = ControlKind::Toolbar;
        toolbar.left = 0;
        toolbar.top = 0;
        toolbar.width = 19200;
        toolbar.height = 600;
        toolbar.buttonWidth = 1000;
        toolbar.buttonHeight = 800;
        f.controls = {line, picture, toolbar};

        fitFormToScreen(f, 1, ScreenInfo::fromPixels(1024, 768, 96));

        const ControlModel &l = f.controls[0];
        QCOMPARE(*l.x1, 80.0);
        QCOMPARE(*l.y1, 150.0);
        QCOMPARE(*l.x2, 880.0);
        QCOMPARE(*l.y2, 450.0);
        QVERIFY(!l.left && !l.width && !l.font); // a line has neither place nor font of its own
        const ControlModel &p = f.controls[1];
        QCOMPARE(QRectF(*p.left, *p.top, *p.width, *p.height), QRectF(800, 300, 1600, 1200));
        QCOMPARE(*p.scaleWidth, 160.0);
        QCOMPARE(*p.scaleHeight, 120.0);
        const ControlModel &t = f.controls[2];
        QCOMPARE(*t.buttonWidth, 800.0);
        QCOMPARE(*t.buttonHeight, 600.0);
        QCOMPARE(QRectF(*t.left, *t.top, *t.width, *t.height), QRectF(0, 0, 15360, 450));
    }

    void tags_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QRectF>("controlOut");
        QTest::addColumn<QRectF>("formOut");
        // 1024 x 768: control 2400,1600 1200x1000 -> 1920,1200 960x750; window 12000x9000 -> 9600x6750
        QTest::newRow("none") << QString() << 96 << QRectF(1920, 1200, 960, 750)
                              << QRectF(600, 450, 9600, 6750);
        QTest::newRow("left") << "L120" << 96 << QRectF(2040, 1200, 960, 750) << QRectF(720, 450, 9600, 6750);
        QTest::newRow("top") << "T-200" << 96 << QRectF(1920, 1000, 960, 750) << QRectF(600, 250, 9600, 6750);
        QTest::newRow("height") << "H50" << 96 << QRectF(1920, 1200, 960, 800)
                                << QRectF(600, 450, 9600, 6800);
        QTest::newRow("width") << "W40" << 96 << QRectF(1920, 1200, 1000, 750)
                               << QRectF(600, 450, 9640, 6750);
        QTest::newRow("unknown letter")
            << "X40" << 96 << QRectF(1920, 1200, 960, 750) << QRectF(600, 450, 9600, 6750);
        QTest::newRow("not a number")
            << "Wide" << 96 << QRectF(1920, 1200, 960, 750) << QRectF(600, 450, 9600, 6750);
        QTest::newRow("lower case is no tag")
            << "w40" << 96 << QRectF(1920, 1200, 960, 750) << QRectF(600, 450, 9600, 6750);
        // A width below zero is refused; the scaled width stays.
        QTest::newRow("negative width refused")
            << "W-20000" << 96 << QRectF(1920, 1200, 960, 750) << QRectF(600, 450, 9600, 6750);
        // Large fonts: the control's tag once (first pass), the window's tag in both passes.
        // 1024x768 at 120 dpi: control -> 1536,960 768x600, tag after pass 1 then x0.8;
        // window 12000x9000 -> (9600 + 40) x 0.8 + 40.
        QTest::newRow("width, both passes")
            << "W40" << 120 << QRectF(1536, 960, 800, 600) << QRectF(600, 450, 7752, 5400);
    }
    void tags()
    {
        QFETCH(QString, tag);
        QFETCH(int, dpi);
        QFETCH(QRectF, controlOut);
        QFETCH(QRectF, formOut);
        FormModel f = designForm(10);
        f.tag = tag;
        f.controls.front().tag = tag;
        fitFormToScreen(f, 0, ScreenInfo::fromPixels(1024, 768, dpi));
        const ControlModel &c = f.controls.front();
        QCOMPARE(QRectF(*c.left, *c.top, *c.width, *c.height), controlOut);
        QCOMPARE(QRectF(*f.left, *f.top, *f.width, *f.height), formOut);
    }

    // A control lacking a property (a timer, a menu entry) is passed over for it; the others
    // are still scaled, and the rest of the controls too.
    void missingPropertiesPassedOver()
    {
        FormModel f = designForm(10);
        ControlModel timer; // nothing at all
        timer.tag = QStringLiteral("L100");
        ControlModel menu;
        menu.font = FontSpec{8, QStringLiteral("Tahoma")};
        f.controls.insert(f.controls.begin(), {timer, menu});
        fitFormToScreen(f, 0, ScreenInfo::fromPixels(1024, 768, 96));
        QVERIFY(!f.controls[0].left && !f.controls[0].font);
        QCOMPARE(f.controls[1].font->size, 7.5);
        QVERIFY(!f.controls[1].width);
        QCOMPARE(*f.controls[2].width, 960.0);
    }

    // Half a point less than nothing is refused: the face changes, the size stays.
    void tinyFontKeepsItsSize()
    {
        FormModel f;
        ControlModel c;
        c.font = FontSpec{0.5, QStringLiteral("Tahoma")};
        f.controls.push_back(c);
        fitFormToScreen(f, 0, ScreenInfo::fromPixels(1024, 768, 96));
        QCOMPARE(f.controls[0].font->size, 0.5);
        QCOMPARE(f.controls[0].font->face, QStringLiteral("Small Fonts"));
    }

    void isScreenFontSmallWithoutScreen()
    {
        test::ScriptedPrompts prompts;
        QVERIFY(!IsScreenFontSmall(static_cast<const QScreen *>(nullptr)));
        QCOMPARE(prompts.texts(),
                 QStringList{QStringLiteral("Error 91 (Object variable or With block variable not "
                                            "set). In procedure IsScreenFontSmall of Module "
                                            "modScreenRes")});
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QCOMPARE(prompts.last().icon, MsgIcon::None);
    }

    // One run on real widgets on a 1024 x 768 screen at 96 dpi.
    void realWidgets()
    {
        QWidget form;
        form.setObjectName(QStringLiteral("frmTest"));
        form.setGeometry(40, 30, 1200, 900);
        QFont base = form.font();
        base.setFamily(QStringLiteral("Tahoma"));
        base.setPointSizeF(10);
        form.setFont(base);

        auto *button = new QPushButton(QStringLiteral("Save Entry"), &form);
        button->setGeometry(100, 60, 200, 40);
        auto *caption = new QLabel(QStringLiteral("Vendor"), &form);
        caption->setGeometry(100, 120, 100, 20);
        QFont small = caption->font();
        small.setPointSizeF(8);
        caption->setFont(small);
        auto *rule = new QFrame(&form);
        rule->setFrameShape(QFrame::HLine);
        rule->setGeometry(20, 200, 1000, 4);
        auto *grid = new QTableView(&form);
        grid->setGeometry(20, 300, 1000, 400);
        auto *bar = new QToolBar(&form);
        bar->setGeometry(0, 0, 1200, 40);
        bar->setIconSize(QSize(32, 32));
        bar->addAction(QStringLiteral("Backup"));
        // A frame with a layout: its place is scaled, its inner label's is the layout's.
        auto *frame = new QGroupBox(QStringLiteral("Item Image"), &form);
        frame->setGeometry(600, 60, 400, 200);
        auto *inner = new QLabel(QStringLiteral("no picture"), frame);
        (new QVBoxLayout(frame))->addWidget(inner);

        const QList<QWidget *> controls = formControls(&form);
        QVERIFY(controls.contains(grid) && controls.contains(bar) && controls.contains(inner));
        QVERIFY(!controls.contains(grid->viewport()));
        for (QWidget *w : controls)
            QVERIFY2(!w->objectName().startsWith(QLatin1String("qt_")), qPrintable(w->objectName()));

        FitFormToScreen(&form, 2, ScreenInfo::fromPixels(1024, 768, 96));

        QCOMPARE(form.pos(), QPoint(0, 0));
        QCOMPARE(form.size(), QSize(1024, 768));
        QCOMPARE(button->geometry(), QRect(80, 45, 160, 30));
        QCOMPARE(button->font().pointSizeF(), 8.0);
        QCOMPARE(caption->font().pointSizeF(), 7.5);
        QCOMPARE(caption->font().families().value(0), QStringLiteral("Small Fonts"));
        QCOMPARE(rule->geometry(), QRect(16, 150, 800, 3));
        QCOMPARE(grid->geometry(), QRect(16, 225, 800, 300));
        QCOMPARE(bar->iconSize(), QSize(26, 24));
        QCOMPARE(frame->geometry(), QRect(480, 45, 320, 150));
        // Inherited fonts are scaled once, not once more through their parent.
        QCOMPARE(inner->font().pointSizeF(), 8.0);
        QCOMPARE(grid->viewport()->font().pointSizeF(), 8.0);
        // The form's own font is not the algorithm's to change.
        QCOMPARE(form.font().pointSizeF(), 10.0);
    }

    // On the design screen nothing moves, whatever the mode.
    void realWidgetsOnDesignScreen()
    {
        QWidget form;
        form.setGeometry(40, 30, 1000, 800);
        auto *button = new QPushButton(QStringLiteral("Exit"), &form);
        button->setGeometry(100, 60, 200, 40);
        const qreal points = button->font().pointSizeF();
        for (int mode : {0, 2, 3}) {
            FitFormToScreen(&form, mode, ScreenInfo::fromPixels(1280, 1024, 96));
            QCOMPARE(form.geometry(), QRect(40, 30, 1000, 800));
            QCOMPARE(button->geometry(), QRect(100, 60, 200, 40));
            QCOMPARE(button->font().pointSizeF(), points);
        }
    }

    // Against the machine's own primary screen, mode 2 covers it.
    void primaryScreenCovered()
    {
        const QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        if (screen->size() == QSize(1280, 1024) && qRound(screen->logicalDotsPerInchX()) == 96)
            QSKIP("The primary screen is the design screen; nothing is scaled.");
        QWidget form;
        form.setGeometry(40, 30, 300, 200);
        FitFormToScreen(&form, 2);
        QCOMPARE(form.size(), screen->size());
        QCOMPARE(form.pos(), screen->geometry().topLeft());
        QVERIFY(form.windowState() & Qt::WindowMaximized);
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
