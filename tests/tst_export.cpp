#include "Ansi.h"
#include "Prefs.h"
#include "ToDoPage.h"
#include "WindowFixture.h"

#include <QProcess>
#include <QStandardPaths>

Q_DECLARE_METATYPE(ToDoItem)

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

    // The page's bytes for templates and texts that the files of the other
    // tests do not reach. Each table is tried as the program set its texts and
    // as read back from the to-do file, whose texts are the code page's bytes.
    void pageBytes_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QList<ToDoItem>>("table"); // oldest first
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("readBack"); // where it differs from `expected`
        const QList<ToDoItem> ab{{false, "A", "a"}, {false, "B", "b"}};
        const QString all = QStringLiteral("[content]");
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };

        row("placeholders twice") << all << QStringLiteral("[title]|[title]|[description]|[description];") << ab << 0
                                  << QByteArray("B|B|b|b;A|A|a|a;\r\n") << QByteArray();
        row("no placeholder in the item")
            << all << QStringLiteral("<hr>") << ab << 0 << QByteArray("<hr><hr>\r\n") << QByteArray();
        row("adjacent placeholders") << all << QStringLiteral("[title][description][pending]") << ab << 0
                                     << QByteArray("BbFalseAaFalse\r\n") << QByteArray();
        row("content twice") << QStringLiteral("[content]|[content]") << QStringLiteral("<[title]>") << ab << 0
                             << QByteArray("<B><A>|<B><A>\r\n") << QByteArray();
        row("content twice, nothing pending")
            << QStringLiteral("([content])([content])") << QStringLiteral("<[title]>")
            << QList<ToDoItem>{{true, "Done", ""}} << 0
            << QByteArray("(There are no pending items.)(There are no pending items.)\r\n") << QByteArray();
        row("no content") << QStringLiteral("<p/>") << QStringLiteral("<[title]>") << ab << 0 << QByteArray("<p/>\r\n")
                          << QByteArray();
        row("item placeholders in the page, content in the item")
            << QStringLiteral("[title][content][pending]") << QStringLiteral("[content]:[title]") << ab << 0
            << QByteArray("[title][content]:B[content]:A[pending]\r\n") << QByteArray();
        row("placeholder names in texts") << all << QStringLiteral("[title]=[description];")
                                          << QList<ToDoItem>{{false, "[description]", "[title][pending][content]"}} << 0
                                          << QByteArray("[description]=[title][pending][content];\r\n") << QByteArray();
        row("a placeholder made of template and text")
            << all << QStringLiteral("[ti[title][description]") << QList<ToDoItem>{{false, "tle", "]"}} << 0
            << QByteArray("[title]\r\n") << QByteArray();
        row("a placeholder cut by another") << all << QStringLiteral("[tit[pending]le]") << ab << 0
                                            << QByteArray("[titFalsele][titFalsele]\r\n") << QByteArray();
        row("line breaks at both ends") << all << QStringLiteral("([description])")
                                        << QList<ToDoItem>{{false, "", "\\nmiddle\\n"}} << 0
                                        << QByteArray("(<br />middle<br />)\r\n") << QByteArray();
        row("line breaks only") << all << QStringLiteral("([description])") << QList<ToDoItem>{{false, "", "\\n\\n"}}
                                << 0 << QByteArray("(<br /><br />)\r\n") << QByteArray();
        row("escaped backslash before n")
            << all << QStringLiteral("([description])") << QList<ToDoItem>{{false, "", "a\\\\nb \\\\\\n"}} << 0
            << QByteArray("(a\\<br />b \\\\<br />)\r\n") << QByteArray();
        row("backslashes that break nothing")
            << all << QStringLiteral("([description])") << QList<ToDoItem>{{false, "", "\\x \\N \\"}} << 0
            << QByteArray("(\\x \\N \\)\r\n") << QByteArray();
        // Each escape after fifteen plain bytes, with more text to follow.
        row("long texts")
            << all << QStringLiteral("[title]|[description]")
            << QList<ToDoItem>{{false,
                                "0123456789abcde\"0123456789abcde&0123456789abcde<0123456789abcde>0123456789abcdef",
                                "0123456789abcde\\n0123456789abcde\\\\n0123456789abcde\\x0123456789abcde&"
                                "0123456789abcdef"}}
            << 0
            << QByteArray("0123456789abcde&quot;0123456789abcde&amp;0123456789abcde&lt;0123456789abcde&gt;"
                          "0123456789abcdef|0123456789abcde<br />0123456789abcde\\<br />0123456789abcde\\x"
                          "0123456789abcde&amp;0123456789abcdef\r\n")
            << QByteArray();
        row("a real line feed stays") << all << QStringLiteral("([description])")
                                      << QList<ToDoItem>{{false, "", "a\nb"}} << 0 << QByteArray("(a\nb)\r\n")
                                      << QByteArray();
        row("no break in a title") << all << QStringLiteral("([title])") << QList<ToDoItem>{{false, "a\\nb", ""}} << 0
                                   << QByteArray("(a\\nb)\r\n") << QByteArray();
        row("the template is not escaped")
            << all << QStringLiteral("<a href=\"x?a&b\">[title]</a>\\n") << QList<ToDoItem>{{false, "<&\">", ""}} << 0
            << QByteArray("<a href=\"x?a&b\">&lt;&amp;&quot;&gt;</a>\\n\r\n") << QByteArray();
        row("the code page") << all << QStringLiteral("[title]|[description]")
                             << QList<ToDoItem>{{false, QStringLiteral("Caf\u00e9 \u20ac5 \u2122"),
                                                 QStringLiteral("\u0081\u009d \u00ff")}}
                             << 0
                             << QByteArray("Caf\xe9 \x80"
                                           "5 \x99|\x81\x9d \xff\r\n")
                             << QByteArray();
        row("beyond the code page") << all << QStringLiteral("[title]|[description]")
                                    << QList<ToDoItem>{{false, QStringLiteral("\u0416\u4e2d"),
                                                        QString::fromUtf8("a\xf0\x9f\x98\x80\\nb")}}
                                    << 0 << QByteArray("??|a?<br />b\r\n") << QByteArray();
        row("beyond the code page in the templates")
            << QStringLiteral("\u0416[content]") + QString::fromUtf8("\xf0\x9f\x98\x80")
            << QStringLiteral("\u20ac[title]\u4e2d") << ab << 0
            << QByteArray("?\x80"
                          "B?\x80"
                          "A??\r\n")
            << QByteArray();
        // Halves of a pair that meet only in the page still make one character;
        // read back from the file, each was written as a "?" of its own.
        row("halves of a pair in two texts")
            << all << QStringLiteral("[title][description]")
            << QList<ToDoItem>{{false, QStringLiteral("x") + QChar(0xD83D), QString(QChar(0xDE00)) + u'y'}} << 0
            << QByteArray("x?y\r\n") << QByteArray("x??y\r\n");
        row("halves of a pair in two items") << all << QStringLiteral("[title]")
                                             << QList<ToDoItem>{{false, QString(QChar(0xDE00)) + u'b', ""},
                                                                {false, QStringLiteral("a") + QChar(0xD83D), ""}}
                                             << 0 << QByteArray("a?b\r\n") << QByteArray("a??b\r\n");
        row("halves of a pair in template and text")
            << all << QString(QChar(0xD83D)) + QStringLiteral("[title]") + QChar(0xD83D)
            << QList<ToDoItem>{{false, QString(QChar(0xDE00)) + u'z' + QChar(0xDE00), ""}} << 0
            << QByteArray("?z?"
                          "?\r\n")
            << QByteArray("??z??\r\n");
        row("a half pair between literals") << all << QStringLiteral("([title])")
                                            << QList<ToDoItem>{{false, QString(QChar(0xDE00)) + QChar(0xD83D), ""}} << 0
                                            << QByteArray("(?"
                                                          "?)\r\n")
                                            << QByteArray();
        const QList<ToDoItem> mixed{{false, "p0", ""}, {true, "d1", ""},  {false, "p2", ""}, {true, "d3", ""},
                                    {true, "d4", ""},  {false, "p5", ""}, {true, "d6", ""}};
        row("limit reached past completed items")
            << all << QStringLiteral("<[title]>") << mixed << 2 << QByteArray("<p5><p2>\r\n") << QByteArray();
        row("limit of one, the newest completed")
            << all << QStringLiteral("<[title]>") << mixed << 1 << QByteArray("<p5>\r\n") << QByteArray();
        row("limit of exactly the pending ones")
            << all << QStringLiteral("<[title]>") << mixed << 3 << QByteArray("<p5><p2><p0>\r\n") << QByteArray();
    }

    void pageBytes()
    {
        QFETCH(QString, page);
        QFETCH(QString, item);
        QFETCH(QList<ToDoItem>, table);
        QFETCH(int, limit);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, readBack);
        QCOMPARE(ToDoPage::encoded(page, item, table, limit), expected);
        const QList<ToDoItem> fromFile = ToDoFile::decode(ToDoFile::encode(table)).records;
        QCOMPARE(ToDoPage::encoded(page, item, fromFile, limit), readBack.isEmpty() ? expected : readBack);
        QCOMPARE(ToDoPage::build(page, item, table, limit), Ansi::decode(expected));
    }

    // A text typed beyond the code page reaches the page before the to-do
    // file is read back, and again after it.
    void textsBeyondTheCodePage_asTypedAndAsSaved()
    {
        templates("[content]", "<[title]|[description]>");
        start({});
        ExportToDo = 1;
        w->toDoPane()->NewToDo(false, QString::fromUtf8("Smile \xf0\x9f\x98\x80 \u0416"), "x < \u20ac\\n");
        QCOMPARE(page(), QByteArray("<Smile ? ?|x &lt; \x80<br />>\r\n"));
        w->toDoPane()->NewToDo(false, "Next", "");
        QCOMPARE(page(), QByteArray("<Next|><Smile ? ?|x &lt; \x80<br />>\r\n"));
        QVERIFY(box->services.messages.isEmpty());
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
