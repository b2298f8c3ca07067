#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <utility>

namespace RecordFile {
class Reader;
}

// A text of a record, in 16 bytes: a large table holds three of these a
// record. Read from a file, it stays the file's own bytes, kept once for the
// whole table, and is decoded only when it is looked at: a large file loads
// without a decode or an allocation per text, and a record that did not
// change can be saved as the very bytes it was read from. Set by the program,
// it holds its own characters, so that a character the code page lacks stays
// what was typed until the file is read again.
class StoredText
{
    // What a text points to: one block for a whole file's content, shared by
    // the texts read from it, or one for each text the program set.
    struct Held {
        std::atomic<qint32> refs{1};
        // The content read from a file, and where this block's window of it
        // starts; nothing for a text the program set.
        const char *file = nullptr;
        qsizetype fileSize = 0;
        const char *base = nullptr;
    };
    struct Own;
    struct Content;

public:
    // Hands out the texts of one file's content, each right behind its byte
    // count there: only RecordFile::Reader makes them, and the saves count on
    // it (RecordFile::storedRecord). A text holds its place in 32 bits from
    // where its window starts, so that a content beyond 4 GiB takes a window
    // for each stretch of that size.
    class Window
    {
    public:
        // How far from its start a window reaches.
        static constexpr qsizetype MaxBytes = 0xFFFF'FFFF;

        ~Window();
        Window(const Window &) = delete;
        Window &operator=(const Window &) = delete;
        Window(Window &&other) noexcept;
        Window &operator=(Window &&other) noexcept;

        qsizetype start() const { return held_->base - held_->file; }

    private:
        friend class RecordFile::Reader;
        Window(const QByteArray &content, qsizetype start);
        // The `length` bytes at `at` of the content, which must lie within
        // MaxBytes of the start.
        StoredText text(qsizetype at, qsizetype length)
        {
            Q_ASSERT(at >= start() && at - start() + length <= MaxBytes);
            if (spare_ == 0)
                takeAhead();
            --spare_;
            return StoredText(held_, static_cast<quint32>(at - start()), static_cast<quint32>(length));
        }
        void takeAhead();
        void release() noexcept;
        Held *held_;
        // References taken ahead for texts to come, so that reading a table
        // adds to the shared count once in a while rather than once a text.
        qint32 spare_ = 0;
    };

    StoredText() noexcept = default;
    StoredText(const QString &text);
    StoredText(const char *text);
    StoredText(const StoredText &other) noexcept
        : held_(other.held_)
        , offset_(other.offset_)
        , length_(other.length_)
    {
        if (held_)
            held_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    StoredText(StoredText &&other) noexcept
        : held_(std::exchange(other.held_, nullptr))
        , offset_(std::exchange(other.offset_, 0))
        , length_(std::exchange(other.length_, 0))
    {
    }
    StoredText &operator=(const StoredText &other) noexcept
    {
        StoredText copy(other);
        swap(copy);
        return *this;
    }
    StoredText &operator=(StoredText &&other) noexcept
    {
        StoredText taken(std::move(other));
        swap(taken);
        return *this;
    }
    ~StoredText()
    {
        if (held_ && held_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            destroy(held_);
    }
    void swap(StoredText &other) noexcept
    {
        std::swap(held_, other.held_);
        std::swap(offset_, other.offset_);
        std::swap(length_, other.length_);
    }

    QString toString() const;
    operator QString() const { return toString(); }
    // The text in the code page, as a record holds it.
    QByteArray encoded() const;
    // Bytes in the code page (a character beyond the basic plane counts two until encoded).
    qsizetype encodedSize() const;
    bool isEmpty() const { return encodedSize() == 0; }

    // For a text read from a file: its bytes there, and the whole content they
    // lie in. Texts read from the same content give the same `file().data()`.
    // Both are empty, with no data, for a text the program set.
    QByteArrayView stored() const
    {
        return held_ && held_->base ? QByteArrayView(held_->base + offset_, length_) : QByteArrayView();
    }
    QByteArrayView file() const
    {
        return held_ && held_->file ? QByteArrayView(held_->file, held_->fileSize) : QByteArrayView();
    }

    // True when both were read from the same file, `next` right behind this
    // text and the two bytes of its count.
    bool followedBy(const StoredText &next) const
    {
        if (next.held_ == held_ && held_ && held_->base)
            return qint64(next.offset_) == qint64(offset_) + length_ + 2;
        const QByteArrayView here = stored();
        return here.data() && next.file().data() == file().data()
               && next.stored().data() == here.data() + here.size() + 2;
    }

    friend bool operator==(const StoredText &a, const StoredText &b) { return a.toString() == b.toString(); }
    friend bool operator==(const StoredText &a, const QString &b) { return a.toString() == b; }
    friend bool operator==(const QString &a, const StoredText &b) { return a == b.toString(); }

private:
    // Adopts one reference to `held`.
    StoredText(Held *held, quint32 offset, quint32 length) noexcept
        : held_(held)
        , offset_(offset)
        , length_(length)
    {
    }
    const QString *own() const;
    // Frees a block when its last reference is gone.
    static void destroy(Held *held) noexcept;

    Held *held_ = nullptr; // nothing for an empty text the program set
    quint32 offset_ = 0;
    quint32 length_ = 0;
};

static_assert(sizeof(StoredText) == 16);
Q_DECLARE_TYPEINFO(StoredText, Q_RELOCATABLE_TYPE);

namespace QTest {
// Test failures show the text.
char *toString(const StoredText &text);
} // namespace QTest
