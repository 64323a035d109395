// TpxAdmin's main frame as a user drives it, against tpxsim on a real pseudo-terminal.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <memory>

#include "common/files.h"
#include "platform/ui/messagebox.h"
#include "tpxadmin/ui/commandtreedialog.h"
#include "tpxadmin/ui/mainframe.h"
#include "tpxadmin/ui/terminalview.h"
#include "tpxadmin/ui/transferdialog.h"
#include "ui/uitest.h"

using namespace tpx;
using namespace tpx::admin;

class TestTpxAdmin : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    std::unique_ptr<uitest::SimProcess> sim_;
    QStringList shown_;
    QString home() const { return tmp_.path() + "/home"; }
    std::string readHome(const QString& rel) {
        auto t = readFile((home() + "/" + rel).toStdString());
        return t ? *t : std::string();
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        qputenv("TPX_HOME", home().toUtf8());
        qputenv("XDG_CONFIG_HOME", (tmp_.path() + "/config").toUtf8());
        QDir::setCurrent(tmp_.path());  // the transcript goes to the current folder
        QVERIFY(seedHome(home().toStdString(), shippedDataDir()).ok());
        qputenv("TPX_COM1", (tmp_.path() + "/com1").toUtf8());
        MessageBox::setAnswerer([this](const MessageBox::Shown& s) {
            shown_ << s.text;
            return s.buttons == MessageBox::YesNo ? MessageBox::Yes : MessageBox::Ok;
        });
    }

    // Every test meets a switch of its own, just started.
    void init() { startSim({}); }
    void cleanup() { sim_.reset(); }
    void startSim(const QStringList& args) {
        sim_.reset();
        sim_ = std::make_unique<uitest::SimProcess>(tmp_.path() + "/com1", QStringList{"--baud", "38400"} + args);
        QVERIFY(sim_->ok());
        shown_.clear();
    }

    void frameHasItsBarsAndCommands() {
        CMainFrame frame(home().toStdString());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.windowTitle(), QString("TpxAdmin"));
        QVERIFY(frame.findChild<CTerminalView*>("2000"));
        QCOMPARE(frame.statusText(), QString("Ready"));

        auto* bar = frame.findChild<QToolBar*>("toolbar128");
        QVERIFY(bar);
        QStringList order;
        for (QAction* a : bar->actions()) order << (a->isSeparator() ? "-" : a->objectName());
        QCOMPARE(order.join(' '), QString("32771 32772 - 32776 32777 - 32784 32787 32785 32786 32780 32781 - 57664 32829"));
        QCOMPARE(frame.action(kCmdUpload)->toolTip(), QString("Upload"));
        QCOMPARE(frame.action(kCmdUpload)->statusTip(), QString("UpLoad to TPX"));

        // No link: the port can open, settings can change, the switch commands wait.
        QVERIFY(frame.action(kCmdPort)->isEnabled());
        QCOMPARE(frame.action(kCmdPort)->text(), QString("&Port Open"));
        QVERIFY(frame.action(kCmdSettings)->isEnabled());
        QVERIFY(frame.action(kCmdFlashUpload)->isEnabled());
        QVERIFY(!frame.action(kCmdDownload)->isEnabled());
        QVERIFY(!frame.action(kCmdCloseLog)->isEnabled());
        QCOMPARE(frame.action(kCmdLcrUpload)->text(), QString("LCR Table Upload"));  // partial.dat's label

        auto* progress = frame.findChild<QProgressBar*>("progress");
        QVERIFY(progress && !progress->isVisible());
        frame.showProgress(true);
        frame.setProgress(40);
        QVERIFY(progress->isVisible());
        QCOMPARE(progress->geometry().left(), 100);
        QCOMPARE(progress->geometry().width(), 200);
        uitest::screenshot(&frame, "tpxadmin-main");
        frame.showProgress(false);
    }

    void portOpenTypedKeysReachTheSwitchAndItsAnswerShows() {
        CMainFrame frame(home().toStdString());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        auto* view = frame.findChild<CTerminalView*>("2000");

        frame.action(kCmdPort)->trigger();
        QVERIFY(frame.shell().link().serialOpen());
        QCOMPARE(frame.action(kCmdPort)->text(), QString("&Port Close"));
        QVERIFY(!frame.action(kCmdSettings)->isEnabled());

        QTest::keyClicks(view, "hello");
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().endsWith("hello"), 3000);
        QTest::keyClick(view, Qt::Key_Backspace);  // the switch erases, the view follows
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().endsWith("hell"), 3000);
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().endsWith("hell\nTPX560 ADMIN PASSWORD: "), 3000);
        uitest::screenshot(&frame, "tpxadmin-terminal");

        frame.action(kCmdClearScreen)->trigger();
        QCOMPARE(view->toPlainText(), QString());

        frame.action(kCmdPort)->trigger();
        QVERIFY(!frame.shell().link().linkUp());
        QVERIFY(shown_.isEmpty());

        auto trace = readFile((tmp_.path() + "/trace.txt").toStdString());
        QVERIFY(trace);
        QVERIFY(trace->find("(L) : Connection Success.\n") != std::string::npos);
        QVERIFY(trace->find("(L) <- 68 \n") != std::string::npos);  // one typed key, one write
        QVERIFY(trace->find("(L) -> ") != std::string::npos);
        QVERIFY(trace->find("(L) : Connection closed.\n") != std::string::npos);
    }

    void settingsDialogValidatesAndWritesTheFile() {
        CMainFrame frame(home().toStdString());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        bool sawInvalid = false;
        uitest::whenModal("dialog130", [&](QWidget* dlg) {
            dlg->findChild<QRadioButton*>("baud3")->setChecked(true);     // 2400
            dlg->findChild<QRadioButton*>("parity2")->setChecked(true);   // Even
            dlg->findChild<QRadioButton*>("stopBits1")->setChecked(true); // 2
            dlg->findChild<QRadioButton*>("linkType1")->setChecked(true); // Modem
            auto* init = dlg->findChild<QComboBox*>("initCommand");
            QCOMPARE(init->count(), 3);  // the built-ins; "ATZ\r" shows as "ATZ"
            init->setCurrentText(QString(60, 'A'));
            dlg->findChild<QLineEdit*>("deviceCom2")->setText("/dev/ttyUSB1");
            auto* ok = dlg->findChild<QAbstractButton*>("1");
            ok->click();  // too long: message 36, the dialog stays
            sawInvalid = dlg->isVisible() && shown_.size() == 1;
            init->setCurrentText("ATQ0");
            uitest::screenshot(dlg, "tpxadmin-settings");
            ok->click();
        });
        frame.action(kCmdSettings)->trigger();
        QVERIFY(sawInvalid);
        QCOMPARE(shown_.takeFirst(), QString::fromStdString(frame.shell().messages().text[36]).trimmed());
        QCOMPARE(QString::fromStdString(readHome("DATA/cfgcomm.DAT")),
                 QString("2400 2 8 3 0 1 1\r\nATQ0\r\n+++\r\nath0"));
        auto ports = readFile((tmp_.path() + "/config/TPX PC Applications/ports.conf").toStdString());
        QVERIFY(ports && ports->find("COM2=/dev/ttyUSB1") != std::string::npos);

        // Cancel changes nothing; the dialog shows the current values.
        uitest::whenModal("dialog130", [](QWidget* dlg) {
            QVERIFY(dlg->findChild<QRadioButton*>("baud3")->isChecked());
            QCOMPARE(dlg->findChild<QComboBox*>("initCommand")->count(), 4);
            dlg->findChild<QAbstractButton*>("2")->click();
        });
        frame.action(kCmdSettings)->trigger();
        QCOMPARE(QString::fromStdString(readHome("DATA/cfgcomm.DAT")),
                 QString("2400 2 8 3 0 1 1\r\nATQ0\r\n+++\r\nath0"));
        QFile::remove(home() + "/DATA/cfgcomm.DAT");
    }

    void startUpOpensTheSavedDirectLinkAndLeavingSaysGoodbye() {
        QVERIFY(writeFileAtomically((home() + "/DATA/cfgcomm.DAT").toStdString(),
                                    "38400 0 8 1 0 1 0\r\nATZ\r\n+++\r\nath0").ok());
        {
            CMainFrame frame(home().toStdString());
            frame.show();
            QTRY_VERIFY_WITH_TIMEOUT(frame.shell().link().serialOpen(), 2000);
            auto* view = frame.findChild<CTerminalView*>("2000");
            // MON (key code 51, echoed as "3") and CR woke the console.
            QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().endsWith("3\nTPX560 ADMIN PASSWORD: "), 3000);
            frame.close();
            QVERIFY(!frame.shell().link().linkUp());
        }
        auto trace = readFile((tmp_.path() + "/trace.txt").toStdString());
        QVERIFY(trace);
        std::size_t mons = 0;
        for (std::size_t p = trace->find("(L) <- 33 \n"); p != std::string::npos; p = trace->find("(L) <- 33 \n", p + 1))
            ++mons;
        QCOMPARE(mons, std::size_t(1 + 11));
        QFile::remove(home() + "/DATA/cfgcomm.DAT");
    }

    void loginIdentifiesTheSwitchAndResetSendsTheResetText() {
        startSim({"--model", "2", "--version", "4.0Di", "--password", "1*0#", "--ext-memory", "--nation", "52FF"});
        CMainFrame frame(home().toStdString());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.action(kCmdPort)->trigger();
        QVERIFY(frame.shell().link().serialOpen());

        uitest::whenModal("passwordDialog", [](QWidget* dlg) {
            auto* edit = dlg->findChild<QLineEdit*>("password");
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QCOMPARE(edit->maxLength(), 250);
            edit->setText("1*0#");
            uitest::screenshot(dlg, "tpxadmin-password");
            dlg->findChild<QAbstractButton*>("1")->click();
        });
        QVERIFY(frame.shell().startAdminSession());
        QCOMPARE(frame.statusText(), QString("TPX560 Hotel"));
        const SessionValues& v = frame.shell().session();
        QCOMPARE(int(v.model), 18);
        QCOMPARE(QString::fromStdString(v.version), QString("4.0Di"));
        QCOMPARE(v.nation, std::uint16_t(0x52FF));
        QVERIFY(v.extensionMemory);
        QVERIFY(shown_.isEmpty());
        uitest::screenshot(&frame, "tpxadmin-identified");

        QVERIFY(frame.action(kCmdReset)->isEnabled());
        frame.action(kCmdReset)->trigger();
        QCOMPARE(shown_.value(0), QString("Now, TPX system will be reset. Are you sure?"));
        auto trace = readFile((tmp_.path() + "/trace.txt").toStdString());
        QVERIFY(trace);
        QVERIFY(trace->find("(L) <- 01 0b 0a 0c \n") != std::string::npos);  // the keyed password
        QVERIFY(trace->find("(L) <- fd \n") != std::string::npos);
        QVERIFY(trace->find("(L) <- 0d 77 75 6d 62 61 74 0d 72 20 74 70 78 0d \n") != std::string::npos);
        frame.action(kCmdPort)->trigger();
    }

    void adminOpensTheCommandTreeAndStartsAProgram() {
        const QString keyLog = tmp_.path() + "/keys.log";
        QFile::remove(keyLog);
        startSim({"--key-log", keyLog});  // TPX560, 4.0Aa, nation 82 (KOREA)
        auto keys = [&] {
            QFile f(keyLog);
            QStringList codes;
            if (f.open(QIODevice::ReadOnly)) codes = QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
            return codes.join(' ');
        };
        CMainFrame frame(home().toStdString());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.action(kCmdPort)->trigger();
        QVERIFY(frame.action(kCmdAdmin)->isEnabled());

        uitest::whenModal("passwordDialog", [](QWidget* dlg) { dlg->findChild<QAbstractButton*>("1")->click(); });
        frame.action(kCmdAdmin)->trigger();
        CCommandTreeDialog* dlg = frame.commandTreeDialog();
        QVERIFY(dlg);
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        QCOMPARE(dlg->objectName(), QString("dialog133"));
        QCOMPARE(dlg->windowTitle(), QString("COMMAND"));
        QVERIFY(!frame.action(kCmdAdmin)->isEnabled());

        // The tree of ADM56.cmd for this switch: groups under "Command", programs under them;
        // version 4.0Aa shows the newer Station Features, nation 82 the Korean program only.
        QTreeWidget* tree = dlg->treeWidget();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), QString("Command"));
        QVERIFY(root->isExpanded());
        QStringList groups;
        for (int i = 0; i < root->childCount(); ++i) groups << root->child(i)->text(0);
        QCOMPARE(groups.join('|'), QString("System|Station|Trunk|Numbering|National"));
        QStringList national;
        for (int i = 0; i < root->child(4)->childCount(); ++i) national << root->child(4)->child(i)->text(0);
        QCOMPARE(national.join('|'), QString("Caller ID Format"));
        QCOMPARE(root->child(0)->child(0)->text(0), QString("System Time"));

        // Programming mode: TRANS/PGM went out and the switch's display came back.
        QTRY_VERIFY_WITH_TIMEOUT(keys().endsWith("56"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(frame.shell().keyset().display().line1()).trimmed(),
                                  QString("PGM MODE"), 3000);

        // Enter on a group opens it; OK on a program starts it: its code reaches the switch.
        tree->setCurrentItem(root->child(0));
        root->child(0)->setExpanded(false);
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(root->child(0)->isExpanded());
        tree->setCurrentItem(root->child(0)->child(0));
        uitest::screenshot(dlg, "tpxadmin-command-tree");
        dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY_WITH_TIMEOUT(keys().endsWith("56 1 10"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(frame.shell().keyset().display().line1()).trimmed(),
                                  QString("SYSTEM TIME"), 3000);
        uitest::screenshot(&frame, "tpxadmin-command-tree-frame");

        // Cancel closes the dialog; return to idle sends MON.
        dlg->reject();
        QTRY_VERIFY_WITH_TIMEOUT(frame.commandTreeDialog() == nullptr, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(keys().endsWith("51"), 3000);
        QVERIFY(frame.action(kCmdAdmin)->isEnabled());
        QCOMPARE(frame.statusText(), QString("Ready"));
        frame.action(kCmdPort)->trigger();
    }

    void refusedLoginShowsMessage28() {
        startSim({"--password", "1234"});
        CMainFrame frame(home().toStdString());
        frame.show();
        frame.action(kCmdPort)->trigger();
        uitest::whenModal("passwordDialog", [](QWidget* dlg) {
            dlg->findChild<QLineEdit*>("password")->setText("9999");
            dlg->findChild<QAbstractButton*>("1")->click();
        });
        QVERIFY(!frame.shell().startAdminSession());
        QCOMPARE(shown_.value(0), QString::fromStdString(frame.shell().messages().text[28]).trimmed());
        frame.action(kCmdPort)->trigger();
    }

    void downloadAndUploadThroughDialog143() {
        startSim({"--version", "5.3Aa", "--ext-memory", "--basic-size", "60000", "--seed", "4"});
        CMainFrame frame(home().toStdString());
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.action(kCmdPort)->trigger();
        QVERIFY(frame.action(kCmdDownload)->isEnabled());
        const QString usr = home() + "/user/ui-site.usr";

        auto answerLogin = [] {
            uitest::whenModal("passwordDialog", [](QWidget* dlg) { dlg->findChild<QAbstractButton*>("1")->click(); });
        };
        auto answerFile = [usr] {
            uitest::whenModal("userFileDialog", [usr](QWidget* dlg) {
                auto* fd = qobject_cast<QFileDialog*>(dlg);
                QVERIFY(fd);
                QCOMPARE(fd->nameFilters().value(0), QString("User Files (*.usr)"));
                fd->selectFile(usr);
                QMetaObject::invokeMethod(fd, "accept");
            });
        };
        answerLogin();
        answerFile();
        frame.action(kCmdDownload)->trigger();
        CTransferDialog* dlg = frame.transferDialog();
        QVERIFY(dlg);
        QCOMPARE(dlg->objectName(), QString("dialog143"));
        QVERIFY(!frame.action(kCmdUpload)->isEnabled());  // one working dialog at a time
        auto* basicBar = dlg->findChild<QProgressBar*>("1262");
        QTRY_VERIFY_WITH_TIMEOUT(basicBar->value() >= 30, 10000);
        QCOMPARE(dlg->windowTitle(), QString("DownLoad from TPX"));
        QCOMPARE(dlg->findChild<QLineEdit*>("1265")->text(), usr);
        QCOMPARE(dlg->findChild<QLineEdit*>("1266")->text(), QString("TPX560"));
        QCOMPARE(dlg->findChild<QLineEdit*>("1267")->text(), QString("5.3Aa"));
        QCOMPARE(dlg->findChild<QLineEdit*>("1268")->text(), QString("60000"));
        QCOMPARE(dlg->findChild<QLineEdit*>("1272")->text(), QString("S_ACK"));
        uitest::screenshot(dlg, "tpxadmin-download");
        QTRY_VERIFY_WITH_TIMEOUT(frame.transferDialog() == nullptr, 30000);
        QCOMPARE(shown_.value(0), QString("DownLoad Complete !!! (Retry:0)"));
        QTRY_COMPARE_WITH_TIMEOUT(frame.statusText(), QString("Ready"), 3000);
        QVERIFY(QFileInfo(usr).size() == 140 + 60000);
        QVERIFY(QFileInfo::exists(home() + "/user/ui-site.exp"));
        QVERIFY(frame.action(kCmdUpload)->isEnabled());

        shown_.clear();
        answerLogin();
        answerFile();
        frame.action(kCmdUpload)->trigger();
        dlg = frame.transferDialog();
        QVERIFY(dlg);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->findChild<QProgressBar*>("1262")->value() >= 30, 10000);
        QCOMPARE(dlg->windowTitle(), QString("Upload to TPX"));
        QCOMPARE(dlg->findChild<QLineEdit*>("1272")->text(), QString("R_ACK"));
        uitest::screenshot(dlg, "tpxadmin-upload");
        QTRY_VERIFY_WITH_TIMEOUT(frame.transferDialog() == nullptr, 30000);
        // The restart question (answered Yes by the test's answerer).
        QCOMPARE(shown_.value(0), QString("UpLoad Complete!! (Retry:0)\r\nTPX should to be restarted for proper operation"));
        auto trace = readFile((tmp_.path() + "/trace.txt").toStdString());
        QVERIFY(trace && trace->find("(L) <- 0d 77 75 6d 62 61 74 0d 72 20 74 70 78 0d \n") != std::string::npos);

        // Cancel in the middle of a download leaves no file.
        shown_.clear();
        const QString other = home() + "/user/cancelled.usr";
        answerLogin();
        uitest::whenModal("userFileDialog", [other](QWidget* d) {
            auto* fd = qobject_cast<QFileDialog*>(d);
            fd->selectFile(other);
            QMetaObject::invokeMethod(fd, "accept");
        });
        frame.action(kCmdDownload)->trigger();
        dlg = frame.transferDialog();
        QVERIFY(dlg);
        QTRY_VERIFY_WITH_TIMEOUT(dlg->findChild<QProgressBar*>("1262")->value() >= 10, 10000);
        dlg->findChild<QAbstractButton*>("2")->click();
        QTRY_VERIFY_WITH_TIMEOUT(frame.transferDialog() == nullptr, 10000);
        QVERIFY(!QFileInfo::exists(other));
        QVERIFY(QFileInfo::exists(usr));
        frame.action(kCmdPort)->trigger();
    }

    void dialsOverIsdnAndClosesWithPortClose() {
        // libcapi20 finds the simulated network through HOME/.capi20rc.
        const QString capiHome = tmp_.path() + "/capihome";
        QDir().mkpath(capiHome);
        startSim({"--isdn", "0", "--capi20rc", capiHome});
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", capiHome.toUtf8());
        QVERIFY(writeFileAtomically((home() + "/DATA/cfgcomm.DAT").toStdString(),
                                    "9600 0 8 1 0 1 2\r\nATZ\r\n+++\r\nath0").ok());
        {
            CMainFrame frame(home().toStdString());
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QTest::qWait(50);  // the first activation: an ISDN link opens nothing
            QVERIFY(!frame.action(kCmdPort)->isEnabled());
            QVERIFY(frame.action(kCmdDialPhone)->isEnabled());
            uitest::whenModal("dialog102", [](QWidget* dlg) {
                QCOMPARE(dlg->windowTitle(), QString("TPX Admin"));
                dlg->findChild<QLineEdit*>("number")->setText("0123");
                uitest::screenshot(dlg, "tpxadmin-dial");
                dlg->findChild<QAbstractButton*>("1")->click();
            });
            frame.action(kCmdDialPhone)->trigger();
            QVERIFY(frame.shell().link().isdnRunning());
            QCOMPARE(frame.action(kCmdPort)->text(), QString("&Port Close"));
            auto* view = frame.findChild<CTerminalView*>("2000");
            QTest::keyClick(view, Qt::Key_Return);
            QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().endsWith("TPX560 ADMIN PASSWORD: "), 5000);
            uitest::screenshot(&frame, "tpxadmin-isdn");
            frame.action(kCmdPort)->trigger();
            QVERIFY(!frame.shell().link().linkUp());
            QVERIFY(shown_.isEmpty());
        }
        qputenv("HOME", oldHome);
        QFile::remove(home() + "/DATA/cfgcomm.DAT");
        auto trace = readFile((tmp_.path() + "/trace.txt").toStdString());
        QVERIFY(trace);
        QVERIFY(trace->find("(R) : Connection Success.\n") != std::string::npos);
        QVERIFY(trace->find("(R) <- 0d\n") != std::string::npos);  // a typed key: one byte
        QVERIFY(trace->find("(R) -> 0d 0a 54 50 58 ") != std::string::npos);
        auto prt = readFile(home().toStdString() + "/ReZUVODUV.prt");
        QVERIFY(prt && prt->find("\n Total time during ZU VODUV is ") != std::string::npos);
    }

    void aboutBox() {
        CMainFrame frame(home().toStdString());
        frame.show();
        QString version;
        uitest::whenModal("dialog100", [&](QWidget* dlg) {
            version = dlg->findChild<QLabel*>("version")->text();
            uitest::screenshot(dlg, "tpxadmin-about");
            dlg->findChild<QAbstractButton*>("1")->click();
        });
        frame.action(kCmdAbout)->trigger();
        QCOMPARE(version, QString("QVMTR- A.0Cb"));
    }
};

QTEST_MAIN(TestTpxAdmin)
#include "test_tpxadmin.moc"
