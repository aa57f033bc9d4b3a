#pragma once
// A list of pictures of one size, the source of a tray icon's pictures.
#include <QIcon>
#include <QList>
#include <QObject>

class TImageList : public QObject {
public:
    explicit TImageList(QObject* owner = nullptr) : QObject(owner) {}

    int Count() const { return static_cast<int>(images_.size()); }
    // Null for an index outside the list.
    QIcon Image(int index) const { return index >= 0 && index < Count() ? images_.at(index) : QIcon(); }
    int Add(const QIcon& image)
    {
        images_.append(image);
        return Count() - 1;
    }

private:
    QList<QIcon> images_;
};
