#include "assets/pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

// The resources of a static library are registered by the object library Qt builds for them;
// naming the initialiser here as well keeps them even where that is left out of a link.
static void ensureResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)done;
}

namespace assets {
namespace {

struct Caches {
    QHash<QString, std::shared_ptr<QSvgRenderer>> renderers; // null entries remember misses
    QHash<QString, QPixmap> pictures;
    QHash<QString, QIcon> icons;
};

Caches& caches()
{
    static Caches* c = [] {
        // Pixmaps must go while the application object still exists.
        qAddPostRoutine([] {
            caches().pictures.clear();
            caches().icons.clear();
            caches().renderers.clear();
        });
        return new Caches;
    }();
    return *c;
}

QString pathOf(const QString& name)
{
    return QStringLiteral(":/pictures/") + name + QStringLiteral(".svg");
}

QSvgRenderer* renderer(const QString& name)
{
    ensureResources();
    auto& cache = caches().renderers;
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return it->get();
    std::shared_ptr<QSvgRenderer> r;
    // Plain names only: nothing outside the program's own pictures can be reached.
    if (!name.isEmpty() && !name.contains(QLatin1Char('/')) && QFileInfo::exists(pathOf(name))) {
        r = std::make_shared<QSvgRenderer>(pathOf(name));
        if (!r->isValid())
            r.reset();
    }
    cache.insert(name, r);
    return r.get();
}

QPixmap render(QSvgRenderer* r, const QSize& size)
{
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    r->render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return pm;
}

} // namespace

QPixmap picture(const QString& name)
{
    auto& cache = caches().pictures;
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    QPixmap pm;
    if (QSvgRenderer* r = renderer(name))
        pm = render(r, r->defaultSize());
    cache.insert(name, pm);
    return pm;
}

QIcon icon(const QString& name)
{
    auto& cache = caches().icons;
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    QIcon result;
    if (QSvgRenderer* r = renderer(name)) {
        // Rendered per size rather than through the SVG icon plugin, which may be missing.
        // QIcon picks the exact size when it has it, so the usual tray and title sizes stay sharp.
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
            result.addPixmap(render(r, r->defaultSize().scaled(side, side, Qt::KeepAspectRatio)));
    }
    cache.insert(name, result);
    return result;
}

QSize naturalSize(const QString& name)
{
    QSvgRenderer* r = renderer(name);
    return r ? r->defaultSize() : QSize();
}

QStringList pictureNames()
{
    ensureResources();
    QStringList names;
    const QStringList files =
        QDir(QStringLiteral(":/pictures")).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (const QString& f : files)
        names << f.chopped(4);
    return names;
}

} // namespace assets
