// What assistive technology and the keyboard get of every window: the role, name and actions
// of each control as Qt's accessibility interfaces report them (what the AT-SPI bridge reads),
// the Tab order, Escape, and keys on a focused button.
#include "tests/support/program_fixture.h"

#include "app/app_state.h"
#include "app/language.h"
#include "controls/skinned_button.h"
#include "controls/spin_edit.h"
#include "messaging/send_window.h"
#include "windows/about_box.h"
#include "windows/black_list.h"
#include "windows/config_dialog.h"
#include "windows/message_viewer.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

using platform::BoxKind;
using Role = QAccessible::Role;

namespace {

using WidgetOf = std::function<QWidget*()>;
using Check = std::function<bool()>;
using Order = std::function<QList<QWidget*>()>;

TSkinForm* windowNamed(const QString& name)
{
    const QHash<QString, TSkinForm*> windows = {
        {QStringLiteral("welcome"), Form1},  {QStringLiteral("viewer"), MsgF},
        {QStringLiteral("send"), SenderF},   {QStringLiteral("settings"), ConfigF},
        {QStringLiteral("black list"), BListF}, {QStringLiteral("about"), AboutBox}};
    return windows.value(name);
}

QString press() { return QAccessibleActionInterface::pressAction(); }
QString toggle() { return QAccessibleActionInterface::toggleAction(); }

// window, member, the widget, role, name, an action it must offer (empty: none asked).
struct Control {
    const char* window;
    const char* member;
    WidgetOf widget;
    Role role;
    QString name;
    QString action;
};

QList<Control> controls()
{
    const QString close = QStringLiteral("Закрыть");
    const QString help = QStringLiteral("Справка");
    return {
        {"welcome", "window", [] { return Form1; }, Role::Window, QStringLiteral("Pellavine 1.2 (Окно приветствия)"), {}},
        {"welcome", "SpeedButton1", [] { return Form1->SpeedButton1; }, Role::Button,
         QString(WebPageAddress).remove(QStringLiteral("https://")).remove(u'/'), press()},

        {"viewer", "window", [] { return MsgF; }, Role::Window, QStringLiteral("Pellavine 1.2 (Просмотр сообщения)"), {}},
        {"viewer", "earlier", [] { return MsgF->earlierButton(); }, Role::PushButton,
         QStringLiteral("Предыдущее непрочитанное сообщение (ещё 1)"), press()},
        {"viewer", "BBut1", [] { return MsgF->BBut1; }, Role::PushButton, QStringLiteral("OK"), press()},
        {"viewer", "BBut2", [] { return MsgF->BBut2; }, Role::PushButton, QStringLiteral("Ответить"), press()},
        {"viewer", "BBut5", [] { return MsgF->BBut5; }, Role::PushButton, QStringLiteral("В черный список"), press()},
        {"viewer", "BBut3", [] { return MsgF->BBut3; }, Role::PushButton, close, press()},
        {"viewer", "BBut4", [] { return MsgF->BBut4; }, Role::PushButton, help, press()},
        {"viewer", "InfoLab1", [] { return MsgF->InfoLab1; }, Role::StaticText, QStringLiteral("Сообщение от alpha (127.0.0.7):"), {}},

        {"send", "window", [] { return SenderF; }, Role::Window, QStringLiteral("Pellavine 1.2 (Отправка сообщения)"), {}},
        {"send", "MSGL", [] { return SenderF->MSGL; }, Role::EditableText, QStringLiteral("Текст:"), {}},
        {"send", "ADRL edit", [] { return SenderF->ADRL->lineEdit(); }, Role::EditableText, QStringLiteral("Кому:"), {}},
        {"send", "BBut1", [] { return SenderF->BBut1; }, Role::PushButton, QStringLiteral("Отправить"), press()},
        {"send", "BBut2", [] { return SenderF->BBut2; }, Role::PushButton, close, press()},
        {"send", "BBut5", [] { return SenderF->BBut5; }, Role::PushButton, help, press()},

        {"settings", "window", [] { return ConfigF; }, Role::Dialog, QStringLiteral("Pellavine 1.2 (Настройки)"), {}},
        {"settings", "SndEd", [] { return ConfigF->SndEd; }, Role::CheckBox, QStringLiteral("Использовать звуки"), toggle()},
        {"settings", "AutoFocusED", [] { return ConfigF->AutoFocusED; }, Role::CheckBox, QStringLiteral("Автофокус каждые (мс):"), toggle()},
        {"settings", "autofocustimeed", [] { return ConfigF->autofocustimeed; }, Role::SpinBox, QStringLiteral("Автофокус каждые (мс):"), {}},
        {"settings", "autofocustimeed edit", [] { return ConfigF->autofocustimeed->editor(); }, Role::EditableText, QStringLiteral("Автофокус каждые (мс):"), {}},
        {"settings", "PortEd", [] { return ConfigF->PortEd; }, Role::SpinBox, QStringLiteral("Порт:"), {}},
        {"settings", "PortEd edit", [] { return ConfigF->PortEd->editor(); }, Role::EditableText, QStringLiteral("Порт:"), {}},
        {"settings", "sptimeed", [] { return ConfigF->sptimeed; }, Role::SpinBox, QStringLiteral("Время показа SPLASH-окна (мс):"), {}},
        {"settings", "sptimeed edit", [] { return ConfigF->sptimeed->editor(); }, Role::EditableText, QStringLiteral("Время показа SPLASH-окна (мс):"), {}},
        {"settings", "SpTransEd", [] { return ConfigF->SpTransEd; }, Role::CheckBox,
         QStringLiteral("Прозрачность (только для систем Windows NT\\2000\\XP)"), toggle()},
        {"settings", "BBut4", [] { return ConfigF->BBut4; }, Role::PushButton, QStringLiteral("По умолчанию"), press()},
        {"settings", "BBut1", [] { return ConfigF->BBut1; }, Role::PushButton, QStringLiteral("OK"), press()},
        {"settings", "BBut2", [] { return ConfigF->BBut2; }, Role::PushButton, QStringLiteral("Отмена"), press()},
        {"settings", "BBut3", [] { return ConfigF->BBut3; }, Role::PushButton, close, press()},
        {"settings", "BBut5", [] { return ConfigF->BBut5; }, Role::PushButton, help, press()},

        {"black list", "window", [] { return BListF; }, Role::Dialog, QStringLiteral("Pellavine 1.2 (Черный список)"), {}},
        {"black list", "Blist", [] { return BListF->Blist; }, Role::List, QString(), {}},
        {"black list", "BBut6", [] { return BListF->BBut6; }, Role::PushButton, QStringLiteral("Удалить"), press()},
        {"black list", "BBut7", [] { return BListF->BBut7; }, Role::PushButton, QStringLiteral("Очистить"), press()},
        {"black list", "BBut4", [] { return BListF->BBut4; }, Role::PushButton, QStringLiteral("Добавить"), press()},
        {"black list", "BBut1", [] { return BListF->BBut1; }, Role::PushButton, QStringLiteral("OK"), press()},
        {"black list", "BBut2", [] { return BListF->BBut2; }, Role::PushButton, QStringLiteral("Отмена"), press()},
        {"black list", "BBut3", [] { return BListF->BBut3; }, Role::PushButton, close, press()},
        {"black list", "BBut5", [] { return BListF->BBut5; }, Role::PushButton, help, press()},

        {"about", "window", [] { return AboutBox; }, Role::Dialog, QStringLiteral("Pellavine 1.2 (О программе)"), {}},
        {"about", "BBut1", [] { return AboutBox->BBut1; }, Role::PushButton, QStringLiteral("OK"), press()},
        {"about", "BBut3", [] { return AboutBox->BBut3; }, Role::PushButton, help, press()},
        {"about", "BBut2", [] { return AboutBox->BBut2; }, Role::PushButton, close, press()},
        {"about", "BBut5", [] { return AboutBox->BBut5; }, Role::PushButton, help, press()},
    };
}

// Every interface under `root`, as a screen reader walks the tree.
void walk(QAccessibleInterface* root, QList<QAccessibleInterface*>& found)
{
    found << root;
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface* child = root->child(i))
            walk(child, found);
    }
}

QStringList actionsOf(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface && iface->actionInterface() ? iface->actionInterface()->actionNames() : QStringList();
}

bool showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Whether the keyboard focus is in `widget` (a compound field's inner editor counts).
bool focusIn(QWidget* widget)
{
    QWidget* focus = QApplication::focusWidget();
    return focus
           && (focus == widget || widget->isAncestorOf(focus) || focus->focusProxy() == widget
               || widget->focusProxy() == focus);
}

QString describe(QWidget* widget)
{
    if (!widget)
        return QStringLiteral("nothing");
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ')
           + (iface ? iface->text(QAccessible::Name) : QString());
}

} // namespace

Q_DECLARE_METATYPE(WidgetOf)
Q_DECLARE_METATYPE(Check)
Q_DECLARE_METATYPE(Order)

class AccessibilityTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ProgramFixture> program;
    // The server listens after the splash: not on 243, which another program may hold.
    int port = 0;

private Q_SLOTS:
    // The names below are the Russian captions as written, which the program keeps under the C
    // locale with its translations beside it.
    void initTestCase() { QCOMPARE(installTranslations(qEnvironmentVariable("PELLAVINE_BIN_DIR")), SourceLanguage); }

    void init()
    {
        port = freeTcpPort();
        program = std::make_unique<ProgramFixture>(QList<ProgramFixture::Setting>{{"config", "port", QString::number(port)}});
        program->passSplash();
        App().LastSenderHost = QStringLiteral("alpha");
        App().LastSenderAddress = QStringLiteral("127.0.0.7");
        // Two unread: the viewer shows the newest and "◀ ещё 1".
        for (int i = 0; i < 2; ++i)
            inbox().add(ReceivedMessage{0, {}, QStringLiteral("alpha"), QStringLiteral("127.0.0.7"), {}, false, false});
        MsgF->showNewest();
        MsgF->showSender(QStringLiteral("alpha"), QStringLiteral("127.0.0.7"));
    }
    void cleanup() { program.reset(); }

    void controlReads_data()
    {
        QTest::addColumn<int>("index");
        const QList<Control> table = controls();
        for (int i = 0; i < table.size(); ++i)
            QTest::addRow("%s %s", table[i].window, table[i].member) << i;
    }
    void controlReads()
    {
        QFETCH(int, index);
        const Control c = controls().at(index);
        QWidget* widget = c.widget();
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(iface && iface->isValid());
        QCOMPARE(iface->role(), c.role);
        QCOMPARE(iface->text(QAccessible::Name), c.name);
        if (!c.action.isEmpty())
            QVERIFY2(actionsOf(widget).contains(c.action), qPrintable(actionsOf(widget).join(u',')));
        if (c.role == Role::PushButton) {
            QVERIFY(widget->focusPolicy() & Qt::TabFocus);
            QVERIFY(!(widget->focusPolicy() & Qt::ClickFocus));
        }
        // The window's tree leads a screen reader to it.
        QAccessibleInterface* top = QAccessible::queryAccessibleInterface(windowNamed(QLatin1String(c.window)));
        QList<QAccessibleInterface*> tree;
        walk(top, tree);
        QVERIFY(tree.contains(iface));
    }

    // Every button and every focusable control a walk through a window meets is in the table:
    // none is left an unnamed filler.
    void everyControlIsListed_data()
    {
        QTest::addColumn<QString>("window");
        for (const char* w : {"welcome", "viewer", "send", "settings", "black list", "about"})
            QTest::newRow(w) << QString::fromLatin1(w);
    }
    void everyControlIsListed()
    {
        QFETCH(QString, window);
        QList<QWidget*> listed;
        for (const Control& c : controls())
            listed << c.widget();
        QList<QAccessibleInterface*> tree;
        walk(QAccessible::queryAccessibleInterface(windowNamed(window)), tree);
        for (QAccessibleInterface* iface : tree) {
            QWidget* widget = qobject_cast<QWidget*>(iface->object());
            QVERIFY2(iface->role() != Role::Client || !iface->state().focusable, qPrintable(describe(widget)));
            if (qobject_cast<TBBut*>(widget) || iface->role() == Role::PushButton)
                QVERIFY2(listed.contains(widget), qPrintable(describe(widget)));
        }
    }

    void headerIsPlainText()
    {
        const QString name = QStringLiteral("<b>x</b>") + QString(40, QLatin1Char('n'));
        MsgF->showSender(name, QStringLiteral("127.0.0.7"));
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(MsgF->InfoLab1);
        QVERIFY(MsgF->InfoLab1->toolTip().startsWith(u'<'));
        QCOMPARE(iface->text(QAccessible::Description),
                 QStringLiteral("Сообщение от ") + name + QStringLiteral(" (127.0.0.7):"));
    }

    void disabledButtonOffersNoPress()
    {
        SenderF->BusySwitch(false);
        QVERIFY(!actionsOf(SenderF->BBut1).contains(press()));
        SenderF->BusySwitch(true);
        QVERIFY(actionsOf(SenderF->BBut1).contains(press()));
    }

    // The press action does what a click does, one button per window.
    void pressAction_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<WidgetOf>("button");
        QTest::addColumn<Check>("done");
        QTest::newRow("viewer OK hides") << "viewer" << WidgetOf([] { return MsgF->BBut1; })
                                         << Check([] { return !MsgF->isVisible(); });
        QTest::newRow("send: nothing to send") << "send" << WidgetOf([] { return SenderF->BBut1; }) << Check([this] {
            return program->fake.dialogs.texts(BoxKind::Information) == QStringList{TSenderF::missingInputText()};
        });
        QTest::newRow("settings defaults") << "settings" << WidgetOf([] { return ConfigF->BBut4; })
                                           << Check([] { return ConfigF->PortEd->Text() == QLatin1String("243"); });
        QTest::newRow("black list cleared") << "black list" << WidgetOf([] { return BListF->BBut7; })
                                            << Check([] { return BListF->Blist->count() == 0; });
        QTest::newRow("about help") << "about" << WidgetOf([] { return AboutBox->BBut3; }) << Check([this] {
            return program->fake.shell.opened == QStringList{App().HelpPath};
        });
    }
    void pressAction()
    {
        QFETCH(QString, window);
        QFETCH(WidgetOf, button);
        QFETCH(Check, done);
        App().Port = 5000;
        BListF->Blist->addItem(QStringLiteral("BETA"));
        SenderF->MSGL->clear();
        SenderF->ADRL->setEditText(QString());
        windowNamed(window)->show();
        QVERIFY(!done());
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button());
        iface->actionInterface()->doAction(press());
        QTRY_VERIFY(done());
    }

    // Tab visits the fields first, then the buttons left to right, and wraps round.
    void tabOrder_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<Order>("order");
        QTest::newRow("viewer") << "viewer" << Order([] {
            return QList<QWidget*>{MsgF->MsgLab, MsgF->earlierButton(), MsgF->BBut1, MsgF->BBut2, MsgF->BBut5,
                                   MsgF->BBut4, MsgF->BBut3};
        });
        QTest::newRow("send") << "send" << Order([] {
            return QList<QWidget*>{SenderF->MSGL, SenderF->ADRL, SenderF->BBut1, SenderF->BBut5, SenderF->BBut2};
        });
        QTest::newRow("settings") << "settings" << Order([] {
            TConfigF* f = ConfigF;
            return QList<QWidget*>{f->SndEd, f->AutoFocusED, f->autofocustimeed, f->PortEd, f->sptimeed,
                                   f->SpTransEd, f->BBut4, f->BBut1, f->BBut2, f->BBut5, f->BBut3};
        });
        QTest::newRow("black list") << "black list" << Order([] {
            TBListF* f = BListF;
            return QList<QWidget*>{f->Blist, f->UsrEd, f->BBut6, f->BBut7, f->BBut4, f->BBut1, f->BBut2, f->BBut5, f->BBut3};
        });
        QTest::newRow("about") << "about" << Order([] {
            return QList<QWidget*>{AboutBox->Memo1, AboutBox->BBut1, AboutBox->BBut3, AboutBox->BBut5, AboutBox->BBut2};
        });
    }
    void tabOrder()
    {
        QFETCH(QString, window);
        QFETCH(Order, order);
        const QList<QWidget*> expected = order();
        QVERIFY(showActive(windowNamed(window)));
        // Where a showing starts.
        QVERIFY2(focusIn(expected.first()), qPrintable(describe(QApplication::focusWidget())));
        for (int i = 1; i <= expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* next = expected.at(i % expected.size());
            QVERIFY2(focusIn(next), qPrintable(QStringLiteral("step %1: %2 instead of %3")
                                                   .arg(i)
                                                   .arg(describe(QApplication::focusWidget()), describe(next))));
        }
    }

    // Escape from any control does what the close button does ("OK" in the viewer), unconfirmed
    // edits going with it.
    void escape_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<WidgetOf>("focus");
        QTest::addColumn<Check>("done");
        QTest::newRow("viewer, from the text") << "viewer" << WidgetOf([] { return MsgF->MsgLab; }) << Check([] { return true; });
        QTest::newRow("send, from the address") << "send" << WidgetOf([] { return SenderF->ADRL->lineEdit(); })
                                                 << Check([] {
                                                        return SenderF->MSGL->text().isEmpty()
                                                               && App().LastAddress == QLatin1String("gamma");
                                                    });
        QTest::newRow("settings, from the port") << "settings" << WidgetOf([] { return ConfigF->PortEd->editor(); })
                                                  << Check([this] {
                                                         return App().Port == port && ConfigF->PortEd->Text() == QString::number(port)
                                                                && program->fake.dialogs.boxes.isEmpty();
                                                     });
        QTest::newRow("settings, from a button") << "settings" << WidgetOf([] { return ConfigF->BBut1; })
                                                  << Check([this] { return App().Port == port && program->fake.dialogs.boxes.isEmpty(); });
        QTest::newRow("black list, from the list") << "black list" << WidgetOf([] { return BListF->Blist; })
                                                    << Check([] { return BListF->names().isEmpty(); });
        QTest::newRow("black list, from the name") << "black list" << WidgetOf([] { return BListF->UsrEd; })
                                                    << Check([] { return BListF->names().isEmpty(); });
        QTest::newRow("about, from the text") << "about" << WidgetOf([] { return AboutBox->Memo1; }) << Check([] { return true; });
    }
    void escape()
    {
        QFETCH(QString, window);
        QFETCH(WidgetOf, focus);
        QFETCH(Check, done);
        TSkinForm* form = windowNamed(window);
        useBlackList({});
        QVERIFY(showActive(form));
        // Unconfirmed edits: a port, a listed name, a message and an address.
        ConfigF->PortEd->setValue(8000);
        BListF->Blist->addItem(QStringLiteral("GAMMA"));
        SenderF->ADRL->setEditText(QStringLiteral("gamma"));
        SenderF->MSGL->setText(QStringLiteral("text"));
        focus()->setFocus(Qt::TabFocusReason);
        QVERIFY(focusIn(focus()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        QVERIFY(done());
    }

    // A focused button takes Space and Enter itself; Enter on "Отмена" cancels, where Enter in
    // the settings' fields stands for "OK".
    void keysOnFocusedButton_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<WidgetOf>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<Check>("done");
        const Check cancelled = [this] {
            return !ConfigF->isVisible() && program->fake.dialogs.boxes.isEmpty() && App().Port == port;
        };
        const Check confirmed = [this] {
            return !ConfigF->isVisible() && App().Port == 8000
                   && program->fake.dialogs.texts(BoxKind::Information) == QStringList{TConfigF::restartNotice()};
        };
        QTest::newRow("Enter on Отмена") << "settings" << WidgetOf([] { return ConfigF->BBut2; }) << int(Qt::Key_Return) << cancelled;
        QTest::newRow("Space on Отмена") << "settings" << WidgetOf([] { return ConfigF->BBut2; }) << int(Qt::Key_Space) << cancelled;
        QTest::newRow("Enter on OK") << "settings" << WidgetOf([] { return ConfigF->BBut1; }) << int(Qt::Key_Enter) << confirmed;
        QTest::newRow("Enter in the port") << "settings" << WidgetOf([] { return ConfigF->PortEd->editor(); }) << int(Qt::Key_Return) << confirmed;
        QTest::newRow("Space on Ответить") << "viewer" << WidgetOf([] { return MsgF->BBut2; }) << int(Qt::Key_Space)
                                           << Check([] { return !MsgF->isVisible() && SenderF->isVisible(); });
    }
    void keysOnFocusedButton()
    {
        QFETCH(QString, window);
        QFETCH(WidgetOf, button);
        QFETCH(int, key);
        QFETCH(Check, done);
        QVERIFY(showActive(windowNamed(window)));
        ConfigF->PortEd->setValue(8000);
        button()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button(), Qt::Key(key));
        QVERIFY(done());
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
