#define QTEST_QPA_MOUSE_HANDLING
#include "app/app_state.h"
#include "assets/pictures.h"
#include "controls/skinned_button.h"
#include "messaging/send_window.h"
#include "tests/support/fake_platform.h"
#include "platform/modality.h"
#include "windows/about_box.h"
#include "windows/black_list.h"
#include "windows/config_dialog.h"
#include "windows/message_viewer.h"
#include "windows/skinned_frame.h"

#include <QGroupBox>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {


enum class Which { Viewer, BlackList, Settings, About, Sender };

TSkinForm* make(Which which)
{
    switch (which) {
    case Which::Viewer: return new TMsgF;
    case Which::BlackList: return new TBListF;
    case Which::Settings: return new TConfigF;
    case Which::About: return new TAboutBox;
    case Which::Sender: return new TSenderF;
    }
    return nullptr;
}

// The global reference of each window.
TSkinForm* globalOf(Which which)
{
    switch (which) {
    case Which::Viewer: return MsgF;
    case Which::BlackList: return BListF;
    case Which::Settings: return ConfigF;
    case Which::About: return AboutBox;
    case Which::Sender: return SenderF;
    }
    return nullptr;
}

void addComposites()
{
    QTest::newRow("message viewer") << Which::Viewer;
    QTest::newRow("black list") << Which::BlackList;
    QTest::newRow("settings") << Which::Settings;
    QTest::newRow("about box") << Which::About;
}

void addAll()
{
    addComposites();
    QTest::newRow("send window") << Which::Sender;
}

} // namespace

Q_DECLARE_METATYPE(Which)

class SkinnedFrameTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        fake = std::make_unique<platform::FakePlatform>();
        App().computePaths(fake->paths.exeDir(), fake->paths.dataDir());
    }
    void cleanup() { fake.reset(); }

    void commonLook_data()
    {
        QTest::addColumn<Which>("which");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("onTop");

        QTest::newRow("message viewer") << Which::Viewer << QSize(308, 293)
                                        << "Pellavine 1.2 (Просмотр сообщения)" << false;
        QTest::newRow("black list") << Which::BlackList << QSize(327, 336) << "Pellavine 1.2 (Черный список)" << false;
        QTest::newRow("settings") << Which::Settings << QSize(342, 294) << "Pellavine 1.2 (Настройки)" << false;
        QTest::newRow("about box") << Which::About << QSize(356, 323) << "Pellavine 1.2 (О программе)" << false;
        QTest::newRow("send window") << Which::Sender << QSize(255, 112)
                                     << "Pellavine 1.2 (Отправка сообщения)" << true;
    }
    void commonLook()
    {
        QFETCH(Which, which);
        QFETCH(QSize, client);
        QFETCH(QString, title);
        QFETCH(bool, onTop);

        QVERIFY(globalOf(which) == nullptr);
        std::unique_ptr<TSkinForm> window(make(which));
        QCOMPARE(globalOf(which), window.get());
        QCOMPARE(window->windowTitle(), title);
        QCOMPARE(window->size(), client);
        QCOMPARE(window->minimumSize(), client);
        QCOMPARE(window->maximumSize(), client);
        QVERIFY(window->isWindow());
        QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(window->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QCOMPARE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
        QCOMPARE(window->palette().color(QPalette::Window), QColor(0xF6, 0xF9, 0xEC));
        QCOMPARE(window->palette().color(QPalette::WindowText), QColor(0x59, 0x59, 0x00));
        QCOMPARE(window->palette().color(QPalette::Base), QColor(0xED, 0xF2, 0xD8));
        QCOMPARE(window->font().family(), QStringLiteral("Arial"));
        QCOMPARE(window->font().pixelSize(), 11);
        QVERIFY(!window->isVisible());

        // The window is painted in its background colour where no picture lies: just inside
        // the left edge, under the title (the window's own controls stand further in).
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        if (window->frameKind() == TSkinForm::FrameKind::Composite)
            QCOMPARE(window->grab().toImage().pixelColor(4, client.height() - 5), QColor(0xF6, 0xF9, 0xEC));

        window.reset();
        QVERIFY(globalOf(which) == nullptr);
    }

    void compositeGeometry_data()
    {
        QTest::addColumn<Which>("which");
        addComposites();
    }
    void compositeGeometry()
    {
        QFETCH(Which, which);
        std::unique_ptr<TSkinForm> window(make(which));
        const int w = window->width();
        const int h = window->height();

        QCOMPARE(window->Image3->geometry(), QRect(0, 0, 88, 22));
        // Image5 keeps its natural size and ends 21 pixels before the right edge.
        QCOMPARE(window->Image5->size(), QSize(69, 22));
        QCOMPARE(window->Image5->geometry().right(), w - 1 - 21);
        QCOMPARE(window->Image5->y(), 0);
        // Image6 fills the gap between them.
        QCOMPARE(window->Image6->geometry().left(), window->Image3->geometry().right() + 1);
        QCOMPARE(window->Image6->geometry().right(), window->Image5->geometry().left() - 1);
        QCOMPARE(window->Image6->height(), 22);
        QCOMPARE(window->Image1->geometry(), QRect(w - 21, 0, 21, 22));
        // Edges run from under the title to the bottom corners.
        QCOMPARE(window->Image10->geometry(), QRect(QPoint(0, 22), QPoint(2, h - 4)));
        QCOMPARE(window->Image11->geometry(), QRect(QPoint(w - 3, 22), QPoint(w - 1, h - 4)));
        QCOMPARE(window->Image9->geometry(), QRect(QPoint(3, h - 3), QPoint(w - 4, h - 1)));
        QCOMPARE(window->Image7->geometry(), QRect(0, h - 3, 3, 3));
        QCOMPARE(window->Image8->geometry(), QRect(w - 3, h - 3, 3, 3));

        // The frame buttons: 16 x 16, 3 from the top, close 21 from the right, help 19 left of it.
        TBBut* close = window->closeButton();
        TBBut* help = window->helpButton();
        QCOMPARE(close->geometry(), QRect(w - 21, 3, 16, 16));
        QCOMPARE(help->geometry(), QRect(w - 40, 3, 16, 16));
        QCOMPARE(help->Hint(), QStringLiteral("Справка"));
        QCOMPARE(close->Hint(), which == Which::About ? QString() : QStringLiteral("Закрыть"));
        QVERIFY(close->UseFontDown());
        QCOMPARE(close->Corner(), 0);
        QCOMPARE(close->UnMouse(), 0);
        QCOMPARE(close->Shape(), TBBut::bsSpacer);

        // Nothing is hidden behind a piece: the buttons lie above them.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->childAt(close->geometry().center()), close);
        QCOMPARE(window->childAt(help->geometry().center()), help);
    }

    void messageViewerInPixels()
    {
        // Worked out by hand for 308 x 293.
        TMsgF viewer;
        QCOMPARE(viewer.Image6->geometry(), QRect(88, 0, 130, 22));
        QCOMPARE(viewer.Image5->geometry(), QRect(218, 0, 69, 22));
        QCOMPARE(viewer.Image1->geometry(), QRect(287, 0, 21, 22));
        QCOMPARE(viewer.Image10->geometry(), QRect(0, 22, 3, 268));
        QCOMPARE(viewer.Image9->geometry(), QRect(3, 290, 302, 3));
        QCOMPARE(viewer.BBut3->pos(), QPoint(287, 3));
        QCOMPARE(viewer.BBut4->pos(), QPoint(268, 3));
    }

    void piecesShowTheirPictures()
    {
        TConfigF window;
        const QList<std::pair<TSkinImage*, const char*>> pieces = {
            {window.Image3, "frame_title_left"}, {window.Image6, "frame_title_middle"},
            {window.Image5, "frame_title_right"}, {window.Image1, "frame_buttons"},
            {window.Image10, "frame_left"}, {window.Image11, "frame_right"},
            {window.Image9, "frame_bottom"}, {window.Image7, "frame_bottom_left"},
            {window.Image8, "frame_bottom_right"}};
        for (const auto& [piece, name] : pieces) {
            const QPixmap expected = assets::picture(QString::fromLatin1(name));
            QCOMPARE(piece->picture().isNull(), expected.isNull());
            QCOMPARE(piece->picture().toImage(), expected.toImage());
        }
        QCOMPARE(window.closeButton()->PictUp().toImage(), assets::picture(QStringLiteral("close_up")).toImage());
        QCOMPARE(window.helpButton()->PictEn().toImage(), assets::picture(QStringLiteral("help_hot")).toImage());
    }

    void sendWindowSkin()
    {
        TSenderF window;
        QVERIFY(window.Image3 == nullptr && window.closeButton() == nullptr);
        QCOMPARE(window.skinpic->geometry(), QRect(0, 0, 255, 112));
        QCOMPARE(window.skinpic->picture().toImage(), assets::picture(QStringLiteral("send_skin")).toImage());
        QCOMPARE(window.BBut2->geometry(), QRect(234, 3, 16, 16));
        QCOMPARE(window.BBut5->geometry(), QRect(216, 3, 16, 16));
        QCOMPARE(window.BBut2->Hint(), QStringLiteral("Закрыть"));
        QCOMPARE(window.BBut5->Hint(), QStringLiteral("Справка"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.childAt(QPoint(242, 11)), window.BBut2);
    }

    void dragHandles_data()
    {
        QTest::addColumn<Which>("which");
        QTest::addColumn<QString>("piece");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");

        QTest::newRow("viewer title middle, left") << Which::Viewer << "Image6" << int(Qt::LeftButton) << true;
        QTest::newRow("viewer title left, right button") << Which::Viewer << "Image3" << int(Qt::RightButton) << true;
        QTest::newRow("settings title right, middle button") << Which::Settings << "Image5" << int(Qt::MiddleButton) << true;
        QTest::newRow("black list title left") << Which::BlackList << "Image3" << int(Qt::LeftButton) << true;
        QTest::newRow("about title right, right button") << Which::About << "Image5" << int(Qt::RightButton) << true;
        QTest::newRow("send window skin, right button") << Which::Sender << "skin" << int(Qt::RightButton) << true;
        QTest::newRow("send window skin, left") << Which::Sender << "skin" << int(Qt::LeftButton) << true;
        QTest::newRow("buttons piece is no handle") << Which::Viewer << "Image1" << int(Qt::LeftButton) << false;
        QTest::newRow("left edge is no handle") << Which::About << "Image10" << int(Qt::LeftButton) << false;
        QTest::newRow("bottom edge is no handle") << Which::Settings << "Image9" << int(Qt::LeftButton) << false;
        QTest::newRow("close button is no handle") << Which::Viewer << "close" << int(Qt::LeftButton) << false;
    }
    void dragHandles()
    {
        QFETCH(Which, which);
        QFETCH(QString, piece);
        QFETCH(int, button);
        QFETCH(bool, moves);

        std::unique_ptr<TSkinForm> window(make(which));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QHash<QString, QWidget*> pieces = {
            {QStringLiteral("Image1"), window->Image1}, {QStringLiteral("Image3"), window->Image3},
            {QStringLiteral("Image5"), window->Image5}, {QStringLiteral("Image6"), window->Image6},
            {QStringLiteral("Image9"), window->Image9}, {QStringLiteral("Image10"), window->Image10},
            {QStringLiteral("skin"), window->skinPicture()}, {QStringLiteral("close"), window->closeButton()}};
        QWidget* target = pieces.value(piece);
        QVERIFY(target);
        // A point of the piece that nothing covers (the frame buttons lie on the buttons piece).
        const QPoint at = piece == QLatin1String("Image1") ? QPoint(19, 20)
                                                          : QPoint(target->width() / 2, target->height() / 2);
        QCOMPARE(window->childAt(target->mapTo(window.get(), at)), target);
        QTest::mousePress(target, Qt::MouseButton(button), {}, at);
        QTest::mouseRelease(target, Qt::MouseButton(button), {}, at);
        if (moves) {
            QCOMPARE(fake->windows.moves.size(), 1);
            QCOMPARE(fake->windows.moves.first().data(), window.get());
        } else {
            QVERIFY(fake->windows.moves.isEmpty());
        }
    }

    void helpOpensTheHelpDocument_data()
    {
        QTest::addColumn<Which>("which");
        QTest::addColumn<bool>("found");
        QTest::newRow("message viewer") << Which::Viewer << true;
        QTest::newRow("black list") << Which::BlackList << true;
        QTest::newRow("settings") << Which::Settings << true;
        QTest::newRow("about box") << Which::About << true;
        QTest::newRow("send window") << Which::Sender << true;
        QTest::newRow("help missing: nothing said") << Which::Viewer << false;
    }
    void helpOpensTheHelpDocument()
    {
        QFETCH(Which, which);
        QFETCH(bool, found);
        fake->shell.result = found;

        std::unique_ptr<TSkinForm> window(make(which));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        TBBut* help = which == Which::Sender ? SenderF->BBut5 : window->helpButton();
        QTest::mousePress(help, Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseRelease(help, Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(fake->shell.opened, QStringList{QStringLiteral("/opt/pellavine/help.htm")});
        QVERIFY(fake->dialogs.boxes.isEmpty());
        QVERIFY(window->isVisible());
    }

    void closeButtons_data()
    {
        QTest::addColumn<Which>("which");
        addAll();
    }
    void closeButtons()
    {
        QFETCH(Which, which);
        std::unique_ptr<TSkinForm> window(make(which));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        TBBut* close = which == Which::Sender ? SenderF->BBut2 : window->closeButton();
        QTest::mousePress(close, Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(!window->isVisible());
        QVERIFY(fake->shell.opened.isEmpty());
    }

    void initialPlaces_data()
    {
        QTest::addColumn<Which>("which");
        QTest::addColumn<bool>("wholeScreen");
        QTest::newRow("viewer: centred on the desktop") << Which::Viewer << false;
        QTest::newRow("settings: centred on the desktop") << Which::Settings << false;
        QTest::newRow("about box: centred on the screen") << Which::About << true;
    }
    void initialPlaces()
    {
        QFETCH(Which, which);
        QFETCH(bool, wholeScreen);
        std::unique_ptr<TSkinForm> window(make(which));
        QScreen* screen = window->screen();
        QVERIFY(screen);
        const QRect area = wholeScreen ? screen->geometry() : screen->availableGeometry();
        const QRect placed(window->pos(), window->size());
        QVERIFY(area.contains(placed));
        QVERIFY(std::abs((placed.left() - area.left()) - (area.right() - placed.right())) <= 1);
        QVERIFY(std::abs((placed.top() - area.top()) - (area.bottom() - placed.bottom())) <= 1);
    }

    void pushButtonLooks_data()
    {
        QTest::addColumn<int>("look");
        QTest::addColumn<QString>("faces");
        QTest::newRow("main action") << int(TSkinForm::ButtonLook::MainAction) << "button_main";
        QTest::newRow("other") << int(TSkinForm::ButtonLook::Other) << "button";
    }
    void pushButtonLooks()
    {
        QFETCH(int, look);
        QFETCH(QString, faces);
        TBListF window;
        QWidget* panel = new QWidget(&window);
        TBBut* button = window.makePushButton(QStringLiteral("Отмена"), QRect(10, 200, 95, 23),
                                              TSkinForm::ButtonLook(look), panel);
        QCOMPARE(button->parentWidget(), panel);
        QCOMPARE(button->Owner(), &window);
        QCOMPARE(button->geometry(), QRect(10, 200, 95, 23));
        QCOMPARE(button->Caption(), QStringLiteral("Отмена"));
        QCOMPARE(button->Shape(), TBBut::bsSpacer);
        QCOMPARE(button->Corner(), 0);
        QCOMPARE(button->UnMouse(), 0);
        QVERIFY(!button->UseFontDown());
        QVERIFY(!button->Transparent());
        QVERIFY(button->ParentFont() && button->ParentColor());
        QCOMPARE(button->PictUp().toImage(), assets::picture(faces + QStringLiteral("_up")).toImage());
        QCOMPARE(button->PictDown().toImage(), assets::picture(faces + QStringLiteral("_down")).toImage());
        QCOMPARE(button->PictEn().toImage(), assets::picture(faces + QStringLiteral("_hot")).toImage());
    }

    void modalShow_data()
    {
        QTest::addColumn<QString>("endedBy");
        QTest::newRow("hidden from outside") << "hide";
        QTest::newRow("close button") << "close button";
        QTest::newRow("window destroyed") << "delete";
    }
    void modalShow()
    {
        QFETCH(QString, endedBy);
        QPointer<TSkinForm> window(new TAboutBox);
        TMsgF before;
        TMsgF later;
        before.show();
        bool sawModal = false;
        bool timerRan = false;
        QTimer::singleShot(0, window, [&] {
            timerRan = true;
            later.show();
            // What showed before is blocked; the modal and what shows meanwhile are usable.
            sawModal = window->isShowing() && window->isModalShowing() && !platform::isBlockedByModal(window)
                       && platform::isBlockedByModal(&before) && !platform::isBlockedByModal(&later)
                       && window->windowModality() == Qt::NonModal;
            // A second modal show of a showing window returns at once.
            window->showModal();
            if (endedBy == QLatin1String("hide"))
                window->hide();
            else if (endedBy == QLatin1String("close button"))
                window->closeButton()->Click();
            else
                delete window.data();
        });
        window->showModal();
        QVERIFY(timerRan);
        QVERIFY(sawModal);
        QVERIFY(!platform::isBlockedByModal(&before));
        if (endedBy == QLatin1String("delete")) {
            QVERIFY(window.isNull());
            return;
        }
        QVERIFY(!window->isShowing());
        QVERIFY(!window->isModalShowing());
        delete window.data();
    }

    // Every framed area is drawn the one way, in the accent colour, in the settings dialog and
    // the black list alike.
    void groupFramesInTheAccent_data()
    {
        QTest::addColumn<Which>("which");
        QTest::addColumn<int>("index");
        for (int i = 0; i < 4; ++i)
            QTest::addRow("settings, frame %d", i + 1) << Which::Settings << i;
        QTest::newRow("black list") << Which::BlackList << 0;
    }
    void groupFramesInTheAccent()
    {
        QFETCH(Which, which);
        QFETCH(int, index);
        std::unique_ptr<TSkinForm> window(make(which));
        const QList<QGroupBox*> frames = window->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
        QVERIFY(index < frames.size());
        QGroupBox* frame = frames[index];
        const QImage picture = window->grab().toImage();
        // The left and right lines half-way down, and the bottom line in the middle.
        for (const QPoint at : {QPoint(0, frame->height() / 2), QPoint(frame->width() - 1, frame->height() / 2),
                                QPoint(frame->width() / 2, frame->height() - 1)})
            QCOMPARE(picture.pixelColor(frame->mapTo(window.get(), at)), skin::accent());
    }

private:
    std::unique_ptr<platform::FakePlatform> fake;
};

QTEST_MAIN(SkinnedFrameTest)
#include "skinned_frame_test.moc"
