#include "windows/black_list.h"

#include "app/app_state.h"
#include "controls/skinned_button.h"
#include "platform/atomic_file.h"
#include "platform/cp1251.h"
#include "platform/host_names.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QShowEvent>
#include <QStyledItemDelegate>

#include <stdexcept>

TBListF* BListF = nullptr;

QString TBListF::noNameText()
{
    return tr("Имя компьютера-отправителя неизвестно, поэтому его нельзя занести в черный список.");
}

QString TBListF::tooLargeText()
{
    return tr("Файл черного списка %1 больше %2 МБ: прочитано только его начало. Файл оставлен как есть, "
              "изменения черного списка в него не записываются.");
}

QString TBListF::notSavedText()
{
    return tr("Черный список не сохранен: файл %1 не удалось прочитать, поэтому он оставлен как есть. "
              "Сделайте файл доступным для чтения и перезапустите Pellavine.");
}

namespace {

QString alreadyListed()
{
    return TBListF::tr("Этот компьютер уже занесен в черный список!");
}

// Rows of the list are 14 pixels high whatever the font says.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(14);
        return size;
    }
};

[[noreturn]] void fileError(const char* what, const QString& path)
{
    throw std::runtime_error((QString::fromLatin1(what) + path).toUtf8().toStdString());
}

bool inCodePage(QChar c)
{
    return c == QLatin1Char('?') || platform::toCp1251(QString(c)) != "?";
}

} // namespace

TBListF::TBListF(QWidget* parent)
    : TSkinForm(tr("Черный список"), QSize(327, 336), FrameKind::Composite, QString(), parent)
{
    BListF = this;
    setDialog(true);
    BBut3 = closeButton();
    BBut5 = helpButton();
    BBut3->OnClick = [this](QObject*) { BBut3Click(); };
    BBut5->OnClick = [this](QObject*) { BBut5Click(); };
    makeTitleDragHandles([this] { Image6MouseDown(); });

    GroupBox1 = new TSkinGroupBox(QString(), this);
    GroupBox1->setGeometry(9, 28, 309, 258);

    Blist = new QListWidget(GroupBox1);
    Blist->setGeometry(10, 16, 190, 200);
    Blist->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Blist->setSortingEnabled(false);
    Blist->setUniformItemSizes(true);
    Blist->setItemDelegate(new FixedRowDelegate(Blist));
    Blist->setTextElideMode(Qt::ElideNone);
    Blist->installEventFilter(this);
    // Whatever changes the entries makes the look-up build its index again.
    QAbstractItemModel* entries = Blist->model();
    const auto stale = [this] { indexed_ = false; };
    connect(entries, &QAbstractItemModel::rowsInserted, this, stale);
    connect(entries, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(entries, &QAbstractItemModel::rowsMoved, this, stale);
    connect(entries, &QAbstractItemModel::modelReset, this, stale);
    connect(entries, &QAbstractItemModel::dataChanged, this, stale);
    connect(entries, &QAbstractItemModel::layoutChanged, this, stale);

    UsrEd = new QLineEdit(GroupBox1);
    UsrEd->setGeometry(10, 226, 190, 21);
    UsrEd->installEventFilter(this);

    for (QWidget* field : {static_cast<QWidget*>(Blist), static_cast<QWidget*>(UsrEd)}) {
        QPalette colours = field->palette();
        colours.setColor(QPalette::Base, skin::textField());
        field->setPalette(colours);
    }

    BBut6 = makePushButton(tr("Удалить"), QRect(208, 16, 90, 23), ButtonLook::Other, GroupBox1);
    BBut7 = makePushButton(tr("Очистить"), QRect(208, 45, 90, 23), ButtonLook::Other, GroupBox1);
    BBut4 = makePushButton(tr("Добавить"), QRect(208, 225, 90, 23), ButtonLook::Other, GroupBox1);
    BBut1 = makePushButton(tr("OK"), QRect(139, 299, 85, 23), ButtonLook::MainAction);
    BBut2 = makePushButton(tr("Отмена"), QRect(233, 299, 85, 23), ButtonLook::Other);
    BBut1->OnClick = [this](QObject*) { BBut1Click(); };
    BBut2->OnClick = [this](QObject*) { BBut2Click(); };
    BBut4->OnClick = [this](QObject*) { BBut4Click(); };
    BBut6->OnClick = [this](QObject*) { BBut6Click(); };
    BBut7->OnClick = [this](QObject*) { BBut7Click(); };

    setTabChain({Blist, UsrEd, BBut6, BBut7, BBut4, BBut1, BBut2, BBut5, BBut3});
    centreOnDesktop();
    FormCreate();
}

TBListF::~TBListF()
{
    if (BListF == this)
        BListF = nullptr;
}

// ----- The list -----

QString TBListF::upperName(const QString& name)
{
    // Letter by letter, so the length never changes, and a letter of the code page never turns
    // into one the file cannot hold (the micro sign's capital is Greek).
    QString result = name;
    for (QChar& c : result) {
        const QString upper = QString(c).toUpper();
        if (upper.size() != 1)
            continue;
        if (inCodePage(c) && !inCodePage(upper.front()))
            continue;
        c = upper.front();
    }
    return result;
}

int TBListF::indexOfName(const QString& name) const
{
    // No name is no computer: an empty entry (a blank line in the file) catches nobody.
    if (name.isEmpty())
        return -1;
    if (!indexed_) {
        index_.clear();
        index_.reserve(Blist->count());
        // From the end, so a name listed twice gives its first row.
        for (int row = Blist->count() - 1; row >= 0; --row)
            index_.insert(upperName(Blist->item(row)->text()), row);
        indexed_ = true;
    }
    return index_.value(upperName(name), -1);
}

bool TBListF::isEmpty() const
{
    return Blist->count() == 0;
}

QStringList TBListF::names() const
{
    QStringList names;
    names.reserve(Blist->count());
    for (int row = 0; row < Blist->count(); ++row)
        names << Blist->item(row)->text();
    return names;
}

void TBListF::appendName(const QString& name)
{
    // QListWidgetItem text is never read as rich text: a name from the network stays plain.
    Blist->addItem(name);
}

void TBListF::setNames(const QStringList& names)
{
    Blist->clear();
    for (const QString& name : names)
        appendName(name);
}

void TBListF::addFromViewer(const QString& name)
{
    // An empty entry would stand for every sender whose address has no name.
    if (name.isEmpty()) {
        platform::dialogs().information(noNameText());
        return;
    }
    if (indexOfName(name) >= 0) {
        platform::dialogs().information(alreadyListed());
        return;
    }
    appendName(name);
    platform::dialogs().information(tr("Компьютер %1 успешно занесен в черный список!").arg(name));
}

// ----- The file -----

QStringList TBListF::parseFile(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray text = nul >= 0 ? bytes.left(nul) : bytes;
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            lines << platform::hostNameFromCp1251(text.mid(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines << platform::hostNameFromCp1251(text.mid(start));
    return lines;
}

QByteArray TBListF::formatFile(const QStringList& names)
{
    QByteArray bytes;
    for (const QString& name : names) {
        bytes += platform::hostNameToCp1251(name);
        bytes += "\r\n";
    }
    return bytes;
}

void TBListF::loadFromFile()
{
    const QString path = App().BlackListPath;
    QByteArray bytes;
    bool cut = false;
    switch (platform::readFile(path, &bytes, MaxFileBytes, &cut)) {
    case platform::ReadResult::Missing:
        unread_ = false;
        tooLarge_ = false;
        return;
    case platform::ReadResult::Failed:
        unread_ = true;
        fileError("Cannot open file ", path);
    case platform::ReadResult::Read:
        break;
    }
    unread_ = false;
    tooLarge_ = cut;
    setNames(parseFile(cut ? platform::wholeLines(bytes) : bytes));
    if (cut && !toldTooLarge_) {
        toldTooLarge_ = true;
        platform::dialogs().information(tooLargeText().arg(path).arg(MaxFileBytes / (1024 * 1024)));
    }
}

void TBListF::saveToFile() const
{
    const QString path = App().BlackListPath;
    // No data folder this run: nothing is kept, as the user was told at the start.
    // The user was told at the load that the file keeps its own entries.
    if (path.isEmpty() || tooLarge_)
        return;
    if (unread_) {
        // The file's own entries never reached the list: replacing it would lose them.
        if (Blist->count() == 0)
            return;
        throw std::runtime_error(notSavedText().arg(path).toUtf8().toStdString());
    }
    if (!platform::replaceFile(path, formatFile(names())))
        fileError("Cannot create file ", path);
}

// ----- Handlers -----

void TBListF::FormCreate()
{
    platform::runGuarded([this] { loadFromFile(); });
}

void TBListF::FormShow()
{
    playWindowSound();
}

void TBListF::FormDestroy()
{
    saveToFile();
}

void TBListF::BBut1Click()
{
    // A file that could not be read is kept as it is and said so; staying open would not help.
    if (unread_) {
        platform::runGuarded([this] { saveToFile(); });
        close();
        return;
    }
    platform::runGuarded([this] {
        saveToFile();
        close();
    });
}

void TBListF::BBut2Click()
{
    platform::runGuarded([this] {
        loadFromFile();
        close();
    });
}

void TBListF::BBut4Click()
{
    const QString name = upperName(UsrEd->text());
    if (name.isEmpty())
        platform::dialogs().information(tr("Введите имя компьютера!"));
    else if (indexOfName(name) >= 0)
        platform::dialogs().information(alreadyListed());
    else
        appendName(name);
    UsrEd->clear();
    UsrEd->setFocus();
}

void TBListF::BBut5Click()
{
    openHelp();
}

void TBListF::BBut6Click()
{
    for (int row = Blist->count() - 1; row >= 0; --row) {
        if (Blist->item(row)->isSelected())
            delete Blist->takeItem(row);
    }
}

void TBListF::BBut7Click()
{
    Blist->clear();
}

void TBListF::Image6MouseDown()
{
    platform::windowSystem().startMove(this);
}

void TBListF::UsrEdKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        BBut4Click();
}

void TBListF::BlistKeyDown(int key)
{
    if (key == Qt::Key_Delete)
        BBut6Click();
}

// ----- Events -----

void TBListF::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager: the same as the close button, so unconfirmed edits go.
    if (event->spontaneous()) {
        event->setAccepted(platform::runGuarded([this] { loadFromFile(); }));
        return;
    }
    TSkinForm::closeEvent(event);
}

bool TBListF::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == UsrEd || watched == Blist)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == UsrEd && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            UsrEdKeyDown(key);
            return true;
        }
        if (watched == Blist && key == Qt::Key_Delete) {
            BlistKeyDown(key);
            return true;
        }
    }
    return TSkinForm::eventFilter(watched, event);
}
