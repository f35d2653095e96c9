#include "ScriptedPrompts.h"
#include "common/ErrorTrap.h"

#include <QtTest>
#include <stdexcept>

using namespace tv;

class TestErrorTrap : public QObject
{
    Q_OBJECT
private slots:
    void message_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<bool>("module");
        QTest::addColumn<QString>("expected");
        QTest::newRow("form with line")
            << 53 << "File not found" << 6 << "View"
            << "frmMain" << false << "Error 53 (File not found) at line 6. In procedure View of Form frmMain";
        QTest::newRow("form without line")
            << 13 << "Type mismatch" << 0 << "cmdFirst_Click"
            << "frmMain" << false << "Error 13 (Type mismatch). In procedure cmdFirst_Click of Form frmMain";
        QTest::newRow("module with line")
            << 6 << "Overflow" << 12 << "DrawBarcode"
            << "DrawBar" << true
            << "Error 6 (Overflow) at line 12. In procedure DrawBarcode of Module DrawBar";
        QTest::newRow("module without line")
            << 5 << "Invalid procedure call or argument" << 0 << "IsScreenFontSmall"
            << "modScreenRes" << true
            << "Error 5 (Invalid procedure call or argument). In procedure IsScreenFontSmall of Module "
               "modScreenRes";
        QTest::newRow("negative engine number")
            << -2147467259 << "Unspecified error" << 3 << "Form_Load"
            << "frmMain" << false
            << "Error -2147467259 (Unspecified error) at line 3. In procedure Form_Load of Form frmMain";
    }
    void message()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(int, line);
        QFETCH(QString, procedure);
        QFETCH(QString, owner);
        QFETCH(bool, module);
        QFETCH(QString, expected);
        QCOMPARE(ErrorTrap::message(number, description, line, procedure, owner,
                                    module ? ErrorTrap::Owner::Module : ErrorTrap::Owner::Form),
                 expected);
    }

    void runReportsOnceAndSkipsTheRest()
    {
        test::ScriptedPrompts prompts;
        ErrorTrap trap(QStringLiteral("View"), QStringLiteral("frmMain"));
        bool reachedAfterFailure = false;
        const bool ok = trap.run([&] {
            trap.line(5);
            trap.line(6);
            throw AppError(Err::FileNotFound);
            reachedAfterFailure = true;
        });
        QVERIFY(!ok);
        QVERIFY(!reachedAfterFailure);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.last().text,
                 QStringLiteral("Error 53 (File not found) at line 6. In procedure View of Form frmMain"));
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QCOMPARE(prompts.last().icon, MsgIcon::None);
        QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
    }

    void runWithoutFailureShowsNothing()
    {
        test::ScriptedPrompts prompts;
        QVERIFY(trapped(QStringLiteral("cmdNext_Click"), QStringLiteral("frmMain"), [] {}));
        QVERIFY(prompts.shown().isEmpty());
    }

    void foreignExceptionsAreTrappedToo()
    {
        test::ScriptedPrompts prompts;
        QVERIFY(!trapped(QStringLiteral("cmdNext_Click"), QStringLiteral("frmMain"),
                         [] { throw std::runtime_error("disk on fire"); }));
        QCOMPARE(prompts.last().text,
                 QStringLiteral("Error 51 (disk on fire). In procedure cmdNext_Click of Form frmMain"));
    }

    void descriptionsComeFromOneTable_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("53") << 53 << "File not found";
        QTest::newRow("13") << 13 << "Type mismatch";
        QTest::newRow("6") << 6 << "Overflow";
        QTest::newRow("75") << 75 << "Path/File access error";
        QTest::newRow("unknown") << 12345 << "Application-defined or object-defined error";
    }
    void descriptionsComeFromOneTable()
    {
        QFETCH(int, number);
        QFETCH(QString, description);
        QCOMPARE(AppError(number).description(), description);
    }
};

QTEST_MAIN(TestErrorTrap)
#include "tst_errortrap.moc"
