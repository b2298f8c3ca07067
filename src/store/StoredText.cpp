#include "StoredText.h"

#include "Ansi.h"

#include <utility>

struct StoredText::Own : Held {
    explicit Own(const QString &value)
        : text(value)
    {
    }
    const QString text;
};

struct StoredText::Content : Held {
    Content(const QByteArray &content, qsizetype start)
        : bytes(content)
    {
        file = bytes.constData();
        fileSize = bytes.size();
        base = file + start;
    }
    const QByteArray bytes;
};

namespace {
// How many references a window takes at a time for the texts it hands out.
constexpr qint32 kReferencesAhead = 4096;
} // namespace

void StoredText::destroy(Held *held) noexcept
{
    if (!held->file)
        delete static_cast<Own *>(held);
    else
        delete static_cast<Content *>(held);
}

StoredText::Window::Window(const QByteArray &content, qsizetype start)
    : held_(new Content(content, start))
{
}

StoredText::Window::~Window()
{
    release();
}

StoredText::Window::Window(Window &&other) noexcept
    : held_(std::exchange(other.held_, nullptr))
    , spare_(std::exchange(other.spare_, 0))
{
}

StoredText::Window &StoredText::Window::operator=(Window &&other) noexcept
{
    if (this != &other) {
        release();
        held_ = std::exchange(other.held_, nullptr);
        spare_ = std::exchange(other.spare_, 0);
    }
    return *this;
}

void StoredText::Window::release() noexcept
{
    if (!held_)
        return;
    // The window's own reference and the ones it took ahead but never handed out.
    const qint32 mine = spare_ + 1;
    if (held_->refs.fetch_sub(mine, std::memory_order_acq_rel) == mine)
        delete static_cast<Content *>(held_);
    held_ = nullptr;
    spare_ = 0;
}

void StoredText::Window::takeAhead()
{
    held_->refs.fetch_add(kReferencesAhead, std::memory_order_relaxed);
    spare_ = kReferencesAhead;
}

StoredText::StoredText(const QString &text)
    : held_(text.isEmpty() ? nullptr : new Own(text))
{
}

StoredText::StoredText(const char *text)
    : StoredText(QString::fromUtf8(text))
{
}

const QString *StoredText::own() const
{
    return held_ && !held_->file ? &static_cast<const Own *>(held_)->text : nullptr;
}

QString StoredText::toString() const
{
    if (const QString *text = own())
        return *text;
    return held_ ? Ansi::decode(stored()) : QString();
}

QByteArray StoredText::encoded() const
{
    if (const QString *text = own())
        return Ansi::encode(*text);
    return stored().toByteArray();
}

qsizetype StoredText::encodedSize() const
{
    if (const QString *text = own())
        return text->size();
    return length_;
}

char *QTest::toString(const StoredText &text)
{
    return qstrdup(text.toString().toUtf8().constData());
}
