#pragma once
// The black list window. Its list box is the one in-memory copy of the black list: the receiving
// end looks names up in it and the message viewer adds to it.
#include "windows/skinned_frame.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QListWidget;
class TBBut;

class TBListF : public TSkinForm {
    Q_OBJECT
public:
    explicit TBListF(QWidget* parent = nullptr);
    ~TBListF() override;

    QGroupBox* GroupBox1 = nullptr;
    QListWidget* Blist = nullptr;
    QLineEdit* UsrEd = nullptr;
    TBBut* BBut1 = nullptr; // "OK"
    TBBut* BBut2 = nullptr; // "Отмена"
    TBBut* BBut3 = nullptr; // frame close
    TBBut* BBut4 = nullptr; // "Добавить"
    TBBut* BBut5 = nullptr; // frame help
    TBBut* BBut6 = nullptr; // "Удалить"
    TBBut* BBut7 = nullptr; // "Очистить"

    // --- Operations on the list used by other windows ---
    // Position of the first entry equal to name regardless of letter case, or -1; always -1
    // for an empty name.
    int indexOfName(const QString& name) const;
    bool isEmpty() const;
    bool contains(const QString& name) const { return indexOfName(name) >= 0; }
    // The message viewer's "В черный список": appends name as it is (no upper-casing) and tells
    // the user, or tells that it is already listed, or that an empty name cannot be listed.
    // Does not write the file.
    void addFromViewer(const QString& name);
    // The entries in list order.
    QStringList names() const;

    // --- File format ---
    // Lines of the black list file: CR LF, lone CR and lone LF end a line, a NUL ends the
    // text, text after the last break is one more line. Code page 1251, a name it cannot hold
    // in ACE form (platform/host_names.h).
    static QStringList parseFile(const QByteArray& bytes);
    // Every name followed by CR LF, code page 1251; an empty list gives no bytes.
    static QByteArray formatFile(const QStringList& names);

    // --- Handlers ---
    void FormCreate();
    void FormShow() override;
    // Runs once at process end, before the window is deleted; throws std::runtime_error
    // ("Cannot create file <path>") when the file cannot be written.
    void FormDestroy();
    void BBut1Click(); // OK: write, then close
    void BBut2Click(); // Отмена / close button: reload, then close
    void BBut3Click() { BBut2Click(); }
    void BBut4Click(); // Добавить
    void BBut5Click(); // help
    void BBut6Click(); // Удалить
    void BBut7Click(); // Очистить
    // key: a Qt::Key. Enter in the edit adds, Delete in the list deletes.
    void UsrEdKeyDown(int key);
    void BlistKeyDown(int key);
    void Image6MouseDown(); // window drag

    // The upper-casing of "Добавить"; the look-up compares names in this form.
    static QString upperName(const QString& name);

    static QString noNameText();
    // A file larger than MaxFileBytes: only its start is read, and it is never replaced. %1 is
    // its path, %2 the bound in megabytes.
    static QString tooLargeText();
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;
    // A file that could not be read is never replaced; %1 is its path.
    static QString notSavedText();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setNames(const QStringList& names);
    // Replaces the entries by the file's lines when the file exists; throws when it cannot be read.
    void loadFromFile();
    // Replaces the file by the entries; throws when it cannot be written, or when the file could
    // not be read at the last load and the list holds names (they would replace its own).
    void saveToFile() const;
    void appendName(const QString& name);

    bool unread_ = false; // the file exists but could not be read
    bool tooLarge_ = false; // only its start was read: a save would cut it
    bool toldTooLarge_ = false;
    // Upper-cased names to their first row, built at the first look-up after a change: a message
    // costs one hash look-up however long the list.
    mutable QHash<QString, int> index_;
    mutable bool indexed_ = false;
};

extern TBListF* BListF;
