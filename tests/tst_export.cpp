#include "Prefs.h"
#include "WindowFixture.h"

#include <QProcess>
#include <QStandardPaths>

class tst_Export : public QObject, WindowFixture
{
    Q_OBJECT

    void templates(const QByteArray &page, const QByteArray &item)
    {
        box->write(QStringLiteral("template_page.txt"), page);
        box->write(QStringLiteral("template_item.txt"), item);
    }
    void start(const QList<ToDoItem> &table)
    {
        if (!table.isEmpty())
            box->write(QStringLiteral("todos.cal"), ToDoFile::encode(table));
        restart();
    }
    QByteArray page() const { return box->read(QStringLiteral("ToDo.html")); }

private slots:
    void initTestCase() { prepareLook(); }
    void init()
    {
        setUp();
        Minimize = 1;
        ExportToDo = 0;
        ExportToDoItems = 5;
    }
    void cleanup() { tearDown(); }

    void newestPendingFirst_upToTheLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("five of seven") << 5 << QByteArray("<8><7><5><4><3>");
        QTest::newRow("zero means all") << 0 << QByteArray("<8><7><5><4><3><2><0>");
        QTest::newRow("below zero means all") << -3 << QByteArray("<8><7><5><4><3><2><0>");
        QTest::newRow("more than there are") << 50 << QByteArray("<8><7><5><4><3><2><0>");
    }

    void newestPendingFirst_upToTheLimit()
    {
        QFETCH(int, limit);
        QFETCH(QByteArray, expected);
        QList<ToDoItem> table;
        for (int i = 0; i < 9; ++i)
            table << ToDoItem{i == 1 || i == 6, QString::number(i), ""};
        templates("[content]", "<[title]>");
        start(table);
        ExportToDoItems = static_cast<qint16>(limit);
        w->toDoPane()->UpdateToDoHTML();
        QCOMPARE(page(), expected + "\r\n");
        QVERIFY(box->services.messages.isEmpty());
    }

    void noPendingItems_threeLinePage()
    {
        templates("<html>\r\n[content]\r\n</html>\r\n", "<li>[title]</li>");
        start({{true, "Done", ""}});
        w->toDoPane()->UpdateToDoHTML();
        QCOMPARE(page(), QByteArray("<html>\r\nThere are no pending items.\r\n</html>\r\n"));
    }

    void templates_data()
    {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty last line breaks after each item")
            << QByteArray("<p>[title]</p>\r\n\r\n") << QByteArray("<p>B</p>\r\n<p>A</p>\r\n\r\n");
        QTest::newRow("no empty line runs them together")
            << QByteArray("<p>[title]</p>\r\n") << QByteArray("<p>B</p><p>A</p>\r\n");
        QTest::newRow("comments dropped, an indented hash kept")
            << QByteArray("# a comment\r\n #kept [title]\r\n#another") << QByteArray(" #kept B #kept A\r\n");
        QTest::newRow("lone CR ends a line, lone LF does not")
            << QByteArray("a\rb\nc [title]") << QByteArray("a\r\nb\nc Ba\r\nb\nc A\r\n");
        QTest::newRow("description breaks and pending")
            << QByteArray("[title]:[description]:[pending];") << QByteArray("B:one<br />two:False;A::False;\r\n");
    }

    void templates()
    {
        QFETCH(QByteArray, item);
        QFETCH(QByteArray, expected);
        templates("[content]", item);
        start({{false, "A", ""}, {false, "B", "one\\ntwo"}});
        w->toDoPane()->UpdateToDoHTML();
        QCOMPARE(page(), expected);
    }

    void textIsEscaped_placeholdersOnlyWhereTheTemplateHasThem()
    {
        templates("<ul>[content]</ul>", "<li title=\"[title]\">[title]: [description]</li>");
        start({{false, "<b>Tom & \"Jerry\"</b> [pending] [content]", "x < y\\n[title] & [description]"}});
        w->toDoPane()->UpdateToDoHTML();
        QCOMPARE(page(),
                 QByteArray("<ul><li title=\"&lt;b&gt;Tom &amp; &quot;Jerry&quot;&lt;/b&gt; [pending] [content]\">"
                            "&lt;b&gt;Tom &amp; &quot;Jerry&quot;&lt;/b&gt; [pending] [content]: "
                            "x &lt; y<br />[title] &amp; [description]</li></ul>\r\n"));
    }

    void failures_keepThePreviousPage_data()
    {
        QTest::addColumn<QByteArray>("pageTemplate"); // "<missing>" for none
        QTest::addColumn<QByteArray>("itemTemplate");
        QTest::addColumn<int>("number");
        QTest::newRow("item template missing") << QByteArray("[content]") << QByteArray("<missing>") << 53;
        QTest::newRow("page template missing") << QByteArray("<missing>") << QByteArray("[title]") << 53;
        QTest::newRow("comments only") << QByteArray("# nothing\r\n# at all\r\n") << QByteArray("[title]") << 5;
    }

    void failures_keepThePreviousPage()
    {
        QFETCH(QByteArray, pageTemplate);
        QFETCH(QByteArray, itemTemplate);
        QFETCH(int, number);
        if (pageTemplate != "<missing>")
            box->write(QStringLiteral("template_page.txt"), pageTemplate);
        if (itemTemplate != "<missing>")
            box->write(QStringLiteral("template_item.txt"), itemTemplate);
        box->write(QStringLiteral("ToDo.html"), "previous page");
        start({{false, "A", ""}});
        w->toDoPane()->UpdateToDoHTML();
        QCOMPARE(page(), QByteArray("previous page"));
        QCOMPARE(box->services.messages.size(), 1);
        QVERIFY(box->services.messages[0].title.endsWith(QStringLiteral(" Error %1 in UpdateToDoHTML").arg(number)));
    }

    void everySave_exportsWhenSwitchedOn()
    {
        templates("[content]", "<[title]>");
        start({});
        w->toDoPane()->NewToDo(false, "Off", "");
        QVERIFY(!box->exists(QStringLiteral("ToDo.html")));
        ExportToDo = 1;
        w->toDoPane()->NewToDo(false, "On", "");
        QCOMPARE(page(), QByteArray("<On><Off>\r\n"));
    }

    void shippedTemplates_giveValidHtml()
    {
        const QString tidy = QStandardPaths::findExecutable(QStringLiteral("tidy"));
        if (tidy.isEmpty())
            QFAIL("tidy is not installed; the set-up script installs it");
        for (const char *name : {"template_page.txt", "template_item.txt"}) {
            QFile f(QStringLiteral(BW_SOURCE_DIR "/data/") + QLatin1String(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            box->write(QLatin1String(name), f.readAll());
        }
        start({{false, "Fish & <chips> \"now\"", "Line one\\nLine <two> & 'three'\\n\\nCaf\u00e9 \u20ac5"},
               {true, "Completed one", ""},
               {false, "Plain", ""},
               {false, "[content] [title] [description]", "[pending]"}});
        w->toDoPane()->UpdateToDoHTML();
        QVERIFY(box->services.messages.isEmpty());
        QProcess check;
        check.start(tidy, {QStringLiteral("-errors"), QStringLiteral("-quiet"), QStringLiteral("-win1252"),
                           box->dataPath(QStringLiteral("ToDo.html"))});
        QVERIFY(check.waitForFinished(30000));
        const QByteArray said = check.readAllStandardError() + check.readAllStandardOutput();
        QVERIFY2(check.exitCode() == 0, said.constData());
        QVERIFY2(said.isEmpty(), said.constData());
    }
};

QTEST_MAIN(tst_Export)
#include "tst_export.moc"
