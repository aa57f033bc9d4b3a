// Mouse input goes through the window system, as real input does (enter and leave included).
#define QTEST_QPA_MOUSE_HANDLING
#include "controls/skinned_button.h"
#include "tests/support/fake_platform.h"

#include <QLineEdit>
#include <QPainter>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <stdexcept>

using platform::BoxKind;

namespace {

const QColor Up(200, 0, 0);
const QColor DownC(0, 160, 0);
const QColor En(0, 0, 220);
const QColor FormColour(0xF6, 0xF9, 0xEC);

QPixmap solid(const QColor& colour, QSize size = QSize(75, 23))
{
    QPixmap picture(size);
    picture.fill(colour);
    return picture;
}

QColor pixelAt(QWidget* widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at);
}

// A shown window with one button on it, and a log of the button's events.
struct Bench {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    TBBut* button = nullptr;
    QStringList log;
    const QPoint inside = QPoint(10, 10);
    const QPoint outside = QPoint(-20, 10);

    explicit Bench(bool withPictures = true)
    {
        form->resize(220, 100);
        QPalette colours = form->palette();
        colours.setColor(QPalette::Window, FormColour);
        form->setPalette(colours);
        // A field takes the focus when the window opens, as in every window of the program.
        (new QLineEdit(form.get()))->setGeometry(0, 0, 40, 20);
        button = new TBBut(form.get());
        button->setGeometry(50, 30, 75, 23);
        if (withPictures) {
            button->setPictUp(solid(Up));
            button->setPictDown(solid(DownC));
            button->setPictEn(solid(En));
        }
        auto record = [this](const char* what) {
            return [this, what](QObject* sender) {
                QCOMPARE(sender, static_cast<QObject*>(button));
                log << QString::fromLatin1(what);
            };
        };
        button->OnClick = record("click");
        button->OnDBClick = record("dbl");
        button->OnPress = record("press");
        button->OnRelease = record("release");
        button->OnPropertyChanged = record("changed");
        button->OnMouseEnter = record("enter");
        button->OnMouseLeave = record("leave");
    }

    bool show()
    {
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }

    void act(const QString& step)
    {
        if (step == QLatin1String("in"))
            QTest::mouseMove(button, inside);
        else if (step == QLatin1String("out"))
            QTest::mouseMove(button, outside);
        else if (step == QLatin1String("press"))
            QTest::mousePress(button, Qt::LeftButton, {}, inside);
        else if (step == QLatin1String("release"))
            QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
        else if (step == QLatin1String("release-out"))
            QTest::mouseRelease(button, Qt::LeftButton, {}, outside);
        else if (step == QLatin1String("rpress"))
            QTest::mousePress(button, Qt::RightButton, {}, inside);
        else if (step == QLatin1String("rrelease"))
            QTest::mouseRelease(button, Qt::RightButton, {}, inside);
        else if (step == QLatin1String("dclick"))
            QTest::mouseDClick(button, Qt::LeftButton, {}, inside);
        else if (step == QLatin1String("disable"))
            button->setEnabled(false);
        else if (step == QLatin1String("focus"))
            button->setFocus(Qt::TabFocusReason);
        else if (step == QLatin1String("blur"))
            button->clearFocus();
        else if (step == QLatin1String("space-down"))
            QTest::keyPress(button, Qt::Key_Space);
        else if (step == QLatin1String("space-up"))
            QTest::keyRelease(button, Qt::Key_Space);
        else if (step == QLatin1String("enter"))
            QTest::keyClick(button, Qt::Key_Return);
        else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }

    // The colour of the picture area now on screen.
    QColor face() { return pixelAt(button, QPoint(37, 11)); }
};

} // namespace

class SkinnedButtonTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fake = std::make_unique<platform::FakePlatform>(); }
    void cleanup() { fake.reset(); }

    void creationDefaults()
    {
        QWidget form;
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        form.setFont(font);
        TBBut button(&form);
        QCOMPARE(button.size(), QSize(40, 40));
        QCOMPARE(button.Corner(), 4);
        QCOMPARE(button.UnMouse(), 1);
        QCOMPARE(button.Style(), TBBut::bsRaised);
        QVERIFY(button.ParentFont());
        QVERIFY(button.ParentColor());
        QVERIFY(button.UseFontDown());
        QVERIFY(!button.Transparent());
        QVERIFY(!button.TranspPict());
        QCOMPARE(button.Font().pixelSize(), 11);
        QCOMPARE(button.FontDown().family(), font.family());
        QCOMPARE(button.parentWidget(), &form);
        QVERIFY(!button.Down() && !button.Hot() && !button.MouseInside() && !button.ButtonHeld());
    }

    void ownerMustBeAWindow()
    {
        QWidget form;
        auto* panel = new QWidget(&form);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, TBBut{panel});
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, (TBBut{nullptr, panel}));
        // On a panel, but owned by the window: the window's colour and font rule.
        TBBut onPanel(&form, panel);
        QCOMPARE(onPanel.parentWidget(), panel);
        QCOMPARE(onPanel.Owner(), &form);
    }

    void mouseScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("down");
        QTest::addColumn<bool>("held");

        QTest::newRow("press shows the pressed state") << "in press" << "enter press" << true << true;
        QTest::newRow("release inside clicks once")
            << "in press release" << "enter press click release" << false << false;
        QTest::newRow("drag out and release: no click")
            << "in press out release-out" << "enter press leave release" << false << false;
        QTest::newRow("drag out, back in and release: click")
            << "in press out in release" << "enter press leave press enter click release" << false << false;
        QTest::newRow("back in while held shows the pressed state again")
            << "in press out in" << "enter press leave press enter" << true << true;
        QTest::newRow("double click: two clicks, one double click")
            << "in dclick" << "enter press click release changed dbl click release" << false << false;
        QTest::newRow("right button does not press or click")
            << "in rpress rrelease" << "enter" << false << false;
        QTest::newRow("disabled button ignores enter and leave")
            << "disable in out in" << "" << false << false;
        QTest::newRow("button disabled while held ignores leave")
            << "in press disable out" << "enter press" << true << true;
    }
    void mouseScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, events);
        QFETCH(bool, down);
        QFETCH(bool, held);

        Bench bench;
        QVERIFY(bench.show());
        const QStringList steps = script.split(QLatin1Char(' '));
        for (const QString& step : steps)
            bench.act(step);
        QCOMPARE(bench.log.join(QLatin1Char(' ')), events);
        QCOMPARE(bench.button->Down(), down);
        QCOMPARE(bench.button->ButtonHeld(), held);
        QCOMPARE(bench.button->Style(), down ? TBBut::bsLowered : TBBut::bsRaised);
        if (bench.button->isEnabled())
            QCOMPARE(bench.face(), down ? DownC : (bench.button->Hot() ? En : Up));
        if (held) // let go, so the next case starts with no button held
            QTest::mouseRelease(bench.button, Qt::LeftButton, {}, bench.outside);
    }

    // Tab reaches the button, a click does not take the focus; Space presses it and its release
    // clicks, Enter clicks at once.
    void keyboardScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("events");
        QTest::addColumn<bool>("down");
        QTest::addColumn<bool>("focused");
        QTest::newRow("Space pressed and released clicks once") << "focus space-down space-up" << "click" << false << true;
        QTest::newRow("Space held shows the pressed state") << "focus space-down" << "" << true << true;
        QTest::newRow("Enter clicks") << "focus enter" << "click" << false << true;
        QTest::newRow("focus lost with Space down: no click") << "focus space-down blur space-up" << "" << false << false;
        QTest::newRow("a click takes no focus")
            << "in press release out" << "enter press click release leave" << false << false;
    }
    void keyboardScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, events);
        QFETCH(bool, down);
        QFETCH(bool, focused);
        Bench bench;
        QVERIFY(bench.show());
        QCOMPARE(bench.button->focusPolicy(), Qt::TabFocus);
        for (const QString& step : script.split(QLatin1Char(' ')))
            bench.act(step);
        QCOMPARE(bench.log.join(QLatin1Char(' ')), events);
        QCOMPARE(bench.button->Down(), down);
        QCOMPARE(bench.button->hasFocus(), focused);
        QCOMPARE(bench.face(), down ? DownC : (bench.button->Hot() ? En : Up));
    }

    // The focus mark is drawn over the picture inside the edge while the button has the focus,
    // and leaves no trace afterwards.
    void focusMark()
    {
        Bench bench;
        QVERIFY(bench.show());
        const QImage before = bench.button->grab().toImage();
        bench.act(QStringLiteral("focus"));
        const QImage focused = bench.button->grab().toImage();
        int marked = 0;
        for (int x = 3; x < 72; ++x)
            marked += focused.pixelColor(x, 3) != before.pixelColor(x, 3) ? 1 : 0;
        QVERIFY2(marked > 20, qPrintable(QString::number(marked)));
        for (const QPoint at : {QPoint(1, 1), QPoint(2, 2), QPoint(37, 11), QPoint(72, 20)})
            QCOMPARE(focused.pixelColor(at), before.pixelColor(at));
        bench.act(QStringLiteral("blur"));
        QCOMPARE(bench.button->grab().toImage(), before);
    }

    void hover_data()
    {
        QTest::addColumn<bool>("withHotPicture");
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("hot");

        QTest::newRow("hot picture, active window") << true << true << true << true;
        QTest::newRow("no hot picture") << false << true << true << false;
        QTest::newRow("inactive window") << true << false << true << false;
        QTest::newRow("disabled") << true << true << false << false;
    }
    void hover()
    {
        QFETCH(bool, withHotPicture);
        QFETCH(bool, windowActive);
        QFETCH(bool, enabled);
        QFETCH(bool, hot);

        Bench bench;
        if (!withHotPicture)
            bench.button->setPictEn(QPixmap());
        bench.button->setEnabled(enabled);
        QVERIFY(bench.show());
        QWidget other;
        if (!windowActive) {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        }
        bench.act(QStringLiteral("in"));
        QCOMPARE(bench.button->Hot(), hot);
        QCOMPARE(bench.button->MouseInside(), enabled);
        QCOMPARE(bench.face(), hot ? En : Up);

        bench.act(QStringLiteral("out"));
        QVERIFY(!bench.button->Hot());
        QCOMPARE(bench.face(), Up);
    }

    void hotPictureRemovedWhileHovered()
    {
        Bench bench;
        QVERIFY(bench.show());
        bench.act(QStringLiteral("in"));
        QVERIFY(bench.button->Hot());
        bench.button->setPictEn(QPixmap());
        QVERIFY(!bench.button->Hot());
        QCOMPARE(bench.face(), Up);
    }

    void pressedPictureFallsBack_data()
    {
        QTest::addColumn<bool>("hasDown");
        QTest::addColumn<bool>("hasEn");
        QTest::addColumn<QColor>("shown");
        QTest::newRow("pressed picture") << true << true << DownC;
        QTest::newRow("no pressed picture: hovered one") << false << true << En;
        QTest::newRow("neither: normal one") << false << false << Up;
    }
    void pressedPictureFallsBack()
    {
        QFETCH(bool, hasDown);
        QFETCH(bool, hasEn);
        QFETCH(QColor, shown);
        Bench bench;
        if (!hasDown)
            bench.button->setPictDown(QPixmap());
        if (!hasEn)
            bench.button->setPictEn(QPixmap());
        QVERIFY(bench.show());
        bench.act(QStringLiteral("in"));
        bench.act(QStringLiteral("press"));
        QCOMPARE(bench.face(), shown);
    }

    void pictureRectangle_data()
    {
        QTest::addColumn<int>("corner");
        QTest::addColumn<int>("unMouse");
        QTest::addColumn<bool>("pressed");
        QTest::addColumn<QRect>("picture");

        QTest::newRow("program buttons, normal") << 0 << 0 << false << QRect(0, 0, 75, 23);
        QTest::newRow("program buttons, pressed over the normal one") << 0 << 0 << true << QRect(0, 0, 75, 23);
        QTest::newRow("defaults, normal") << 4 << 1 << false << QRect(4, 4, 67, 15);
        QTest::newRow("defaults, pressed shifts") << 4 << 1 << true << QRect(5, 5, 67, 15);
        QTest::newRow("shift up and left") << 3 << -2 << true << QRect(1, 1, 69, 17);
    }
    void pictureRectangle()
    {
        QFETCH(int, corner);
        QFETCH(int, unMouse);
        QFETCH(bool, pressed);
        QFETCH(QRect, picture);

        Bench bench;
        bench.button->setShape(TBBut::bsSpacer);
        bench.button->setCorner(corner);
        bench.button->setUnMouse(unMouse);
        QVERIFY(bench.show());
        if (pressed) {
            bench.act(QStringLiteral("in"));
            bench.act(QStringLiteral("press"));
        }
        const QColor expected = pressed ? DownC : Up;
        const QImage image = bench.button->grab().toImage();
        // The picture fills exactly its rectangle; the rest inside the margin is the form's colour.
        for (int y = 1; y < 22; ++y) {
            for (int x = 1; x < 74; ++x) {
                const QColor want = picture.contains(x, y) ? expected : FormColour;
                if (image.pixelColor(x, y) != want)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3, wanted %4")
                                         .arg(x).arg(y).arg(image.pixelColor(x, y).name(), want.name())));
            }
        }
    }

    void background_data()
    {
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<bool>("ownColour");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("form colour") << false << false << FormColour;
        QTest::newRow("own colour") << false << true << QColor(10, 20, 30);
        QTest::newRow("transparent shows what is behind") << true << true << QColor(90, 0, 90);
    }
    void background()
    {
        QFETCH(bool, transparent);
        QFETCH(bool, ownColour);
        QFETCH(QColor, expected);

        Bench bench(false);
        // Something behind the button, to tell a transparent button from a painted one.
        auto* behind = new QWidget(bench.form.get());
        behind->setGeometry(bench.button->geometry());
        behind->setAutoFillBackground(true);
        QPalette colours = behind->palette();
        colours.setColor(QPalette::Window, QColor(90, 0, 90));
        behind->setPalette(colours);
        behind->lower();
        bench.button->setShape(TBBut::bsSpacer);
        bench.button->setTransparent(transparent);
        if (ownColour)
            bench.button->setColor(QColor(10, 20, 30));
        QCOMPARE(bench.button->ParentColor(), !ownColour);
        QVERIFY(bench.show());
        const QImage window = bench.form->grab().toImage();
        const QPoint origin = bench.button->pos();
        QCOMPARE(window.pixelColor(origin + QPoint(1, 1)), expected);
        QCOMPARE(window.pixelColor(origin + QPoint(73, 21)), expected);
        // The one-pixel margin is never painted.
        QCOMPARE(window.pixelColor(origin), QColor(90, 0, 90));
    }

    void captionOrigin_data()
    {
        QTest::addColumn<QSize>("button");
        QTest::addColumn<QSize>("text");
        QTest::addColumn<QPoint>("origin");
        QTest::newRow("centred") << QSize(75, 23) << QSize(21, 13) << QPoint(27, 5);
        QTest::newRow("even halves") << QSize(76, 24) << QSize(20, 14) << QPoint(28, 5);
        QTest::newRow("wider than the button: -2.5 gives -2") << QSize(10, 23) << QSize(15, 13) << QPoint(-2, 5);
        QTest::newRow("wider: -4.5 gives -4") << QSize(11, 16) << QSize(20, 13) << QPoint(-4, 1);
        QTest::newRow("taller than the button") << QSize(16, 10) << QSize(6, 13) << QPoint(5, -1);
        QTest::newRow("no text") << QSize(16, 16) << QSize(0, 0) << QPoint(8, 8);
    }
    void captionOrigin()
    {
        QFETCH(QSize, button);
        QFETCH(QSize, text);
        QFETCH(QPoint, origin);
        QCOMPARE(TBBut::captionOrigin(button, text), origin);
    }

    void captionFollowsThePress_data()
    {
        QTest::addColumn<int>("unMouse");
        QTest::addColumn<QString>("caption");
        QTest::newRow("pressed moves by UnMouse") << 3 << "OK";
        QTest::newRow("UnMouse 0 stays") << 0 << "Отмена";
        QTest::newRow("wider than the button") << 2 << "В черный список навсегда";
    }
    void captionFollowsThePress()
    {
        QFETCH(int, unMouse);
        QFETCH(QString, caption);

        Bench bench(false);
        bench.button->setShape(TBBut::bsSpacer);
        bench.button->setUnMouse(unMouse);
        bench.button->setCaption(caption);
        bench.button->setUseFontDown(false);
        QVERIFY(bench.show());
        auto ink = [&bench] {
            const QImage image = bench.button->grab().toImage();
            QRect box;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) < 160)
                        box |= QRect(x, y, 1, 1);
            return box;
        };
        const QRect normal = ink();
        QVERIFY(!normal.isEmpty());
        bench.act(QStringLiteral("in"));
        bench.act(QStringLiteral("press"));
        const QRect pressed = ink();
        // Clipped at the button's edges when wider than the button.
        if (normal.width() < bench.button->width() - 2 * std::abs(unMouse))
            QCOMPARE(pressed, normal.translated(unMouse, unMouse));
        else
            QCOMPARE(pressed.top(), normal.top() + unMouse);

        // The caption sits where captionOrigin puts it, within the glyphs' side bearings.
        const QFontMetrics metrics(bench.form->font());
        const QPoint origin = TBBut::captionOrigin(
            bench.button->size(), QSize(metrics.horizontalAdvance(caption), metrics.height()));
        if (origin.x() >= 0)
            QVERIFY2(std::abs(normal.left() - origin.x()) <= 2, qPrintable(QString::number(normal.left())));
        QVERIFY(normal.top() >= origin.y() && normal.bottom() < origin.y() + metrics.height());
    }

    void settersNotify()
    {
        QFont big(QStringLiteral("Arial"));
        big.setPixelSize(19);
        struct Case {
            const char* name;
            std::function<void(TBBut&)> assign;
            int notices;
            bool parentFont, parentColor;
        };
        const QList<Case> cases = {
            {"Caption", [](TBBut& b) { b.setCaption(QStringLiteral("OK")); }, 1, true, true},
            {"Corner", [](TBBut& b) { b.setCorner(0); }, 1, true, true},
            {"UnMouse", [](TBBut& b) { b.setUnMouse(-3); }, 1, true, true},
            {"UseFontDown", [](TBBut& b) { b.setUseFontDown(false); }, 1, true, true},
            {"Transparent", [](TBBut& b) { b.setTransparent(true); }, 1, true, true},
            {"TranspPict", [](TBBut& b) { b.setTranspPict(true); }, 1, true, true},
            {"Color drops ParentColor", [](TBBut& b) { b.setColor(Qt::red); }, 1, true, false},
            {"Font drops ParentFont, no notice", [&big](TBBut& b) { b.setFont(big); }, 0, false, true},
            {"FontDown, no notice", [&big](TBBut& b) { b.setFontDown(big); }, 0, true, true},
            {"PictUp", [](TBBut& b) { b.setPictUp(solid(Up)); }, 1, true, true},
            {"PictDown", [](TBBut& b) { b.setPictDown(solid(DownC)); }, 1, true, true},
            {"PictEn set, no notice", [](TBBut& b) { b.setPictEn(solid(En)); }, 0, true, true},
            {"PictEn cleared", [](TBBut& b) { b.setPictEn(QPixmap()); }, 1, true, true},
        };
        for (const Case& c : cases) {
            QWidget form;
            TBBut button(&form);
            int seen = 0;
            button.OnPropertyChanged = [&seen](QObject*) { ++seen; };
            c.assign(button);
            QVERIFY2(seen == c.notices, c.name);
            QVERIFY2(button.ParentFont() == c.parentFont, c.name);
            QVERIFY2(button.ParentColor() == c.parentColor, c.name);
        }
    }

    void transparentPictureKeysOutItsCorner()
    {
        Bench bench(false);
        bench.button->setShape(TBBut::bsSpacer);
        bench.button->setCorner(0);
        bench.button->setColor(QColor(10, 20, 30));
        QPixmap picture = solid(Up);
        {
            QPainter painter(&picture);
            painter.fillRect(QRect(0, 0, 75, 23), Qt::white); // the key colour, from the bottom-left pixel
            painter.fillRect(QRect(20, 5, 30, 10), Up);
        }
        bench.button->setPictUp(picture);
        QVERIFY(bench.show());
        QCOMPARE(bench.face(), Up);
        QCOMPARE(pixelAt(bench.button, QPoint(5, 5)), QColor(Qt::white));
        bench.button->setTranspPict(true);
        QCOMPARE(pixelAt(bench.button, QPoint(5, 5)), QColor(10, 20, 30));
        QCOMPARE(bench.face(), Up);
    }

    void clickRunsPendingWorkFirst()
    {
        Bench bench;
        QVERIFY(bench.show());
        bool timerRan = false;
        bool ranBeforeClick = false;
        bench.button->OnClick = [&](QObject*) { ranBeforeClick = timerRan; };
        bench.act(QStringLiteral("in"));
        bench.act(QStringLiteral("press"));
        QTimer::singleShot(0, bench.button, [&] { timerRan = true; });
        bench.act(QStringLiteral("release"));
        QVERIFY(ranBeforeClick);
    }

    void failingHandlerIsReported_data()
    {
        QTest::addColumn<bool>("byMouse");
        QTest::newRow("Click()") << false;
        QTest::newRow("mouse click") << true;
    }
    void failingHandlerIsReported()
    {
        QFETCH(bool, byMouse);
        Bench bench;
        QVERIFY(bench.show());
        bench.button->OnClick = [](QObject*) { throw std::runtime_error("Cannot open file x"); };
        if (byMouse) {
            for (const char* step : {"in", "press", "release"})
                bench.act(QString::fromLatin1(step));
        } else {
            bench.button->Click();
        }
        QCOMPARE(fake->dialogs.texts(BoxKind::Error), QStringList{QStringLiteral("Cannot open file x.")});
        if (byMouse) {
            // The release finished its work after the report.
            QVERIFY(!bench.button->ButtonHeld());
            QCOMPARE(bench.log.last(), QStringLiteral("release"));
        }
    }

    void handlerMayHideTheButton_data()
    {
        QTest::addColumn<bool>("wholeWindow");
        QTest::newRow("window hidden") << true;
        QTest::newRow("button hidden") << false;
    }
    void handlerMayHideTheButton()
    {
        QFETCH(bool, wholeWindow);
        Bench bench;
        QVERIFY(bench.show());
        bench.button->OnClick = [&bench, wholeWindow](QObject*) {
            bench.log << QStringLiteral("click");
            if (wholeWindow)
                bench.form->hide();
            else
                bench.button->hide();
        };
        for (const char* step : {"in", "press", "release"})
            bench.act(QString::fromLatin1(step));
        QCOMPARE(bench.log.join(QLatin1Char(' ')), QStringLiteral("enter press click release"));
        QVERIFY(!bench.button->ButtonHeld());
        QVERIFY(!bench.button->Down());
    }

    void hintIsPlainText_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::newRow("ordinary") << "Закрыть";
        QTest::newRow("markup") << "<b>bold</b> & <i>x</i>";
        QTest::newRow("html entity") << "&lt;not a tag&gt;";
    }
    void hintIsPlainText()
    {
        QFETCH(QString, hint);
        QWidget form;
        TBBut button(&form);
        button.setHint(hint);
        QCOMPARE(button.Hint(), hint);
        QString shown = button.toolTip();
        if (Qt::mightBeRichText(shown)) {
            QTextDocument document;
            document.setHtml(shown);
            shown = document.toPlainText();
        }
        QCOMPARE(shown, hint);
    }

    void spacerPaintsNoBevel_data()
    {
        QTest::addColumn<int>("shape");
        QTest::addColumn<bool>("edgePainted");
        QTest::newRow("spacer") << int(TBBut::bsSpacer) << false;
        QTest::newRow("box") << int(TBBut::bsBox) << true;
        QTest::newRow("top line") << int(TBBut::bsTopLine) << true;
    }
    void spacerPaintsNoBevel()
    {
        QFETCH(int, shape);
        QFETCH(bool, edgePainted);
        Bench bench(false);
        bench.button->setShape(static_cast<TBBut::TBevelShape>(shape));
        bench.button->setTransparent(true);
        QVERIFY(bench.show());
        const QImage window = bench.form->grab().toImage();
        QCOMPARE(window.pixelColor(bench.button->pos() + QPoint(10, 0)) != FormColour, edgePainted);
    }

private:
    std::unique_ptr<platform::FakePlatform> fake;
};

QTEST_MAIN(SkinnedButtonTest)
#include "skinned_button_test.moc"
