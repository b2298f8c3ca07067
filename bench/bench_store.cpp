// Times the store operations of the main window at 1,000 to 1,000,000 records.
#include "AppointmentsPane.h"
#include "DataGen.h"
#include "FileOps.h"
#include "Prefs.h"
#include "TestSupport.h"
#include "ToDoPane.h"
#include "frmMain.h"

#include "BCGCalendar.h"

#include <QApplication>
#include <QFile>

#include <QThread>

#include <benchmark/benchmark.h>

#include <memory>

#include <unistd.h>

class BenchProbe
{
public:
    explicit BenchProbe(frmMain &w)
        : appointments_(*w.appointmentsPane())
        , toDos_(*w.toDoPane())
    {
    }
    void loadAppointments() { appointments_.LoadAppointments(); }
    bool saveAppointments() { return appointments_.SaveAppointments(); }
    void reloadAppointments() { appointments_.ReloadAppointments(); }
    void refreshDayView() { appointments_.RefreshDayView(); }
    void refreshMonthMarks() { appointments_.RefreshMonthMarks(); }
    void loadToDos() { toDos_.LoadToDos(); }
    bool saveToDos() { return toDos_.SaveToDos(); }
    Appointment &appointment(qint32 i) { return appointments_.Appointments[i]; }
    BCGCalendar *calendar() { return appointments_.Calendar; }

private:
    AppointmentsPane &appointments_;
    ToDoPane &toDos_;
};

namespace {

// A data folder holding `appointments` appointments and `toDos` to-do items,
// and a main window started on it.
struct Fixture {
    Fixture(qsizetype appointments, qsizetype toDos)
    {
        box.write(QStringLiteral("appointments.cal"), AppointmentFile::encode(DataGen::appointments(appointments)));
        box.write(QStringLiteral("todos.cal"), ToDoFile::encode(DataGen::toDos(toDos)));
        box.write(QStringLiteral("template_page.txt"), "<html><body>\r\n[content]\r\n</body></html>");
        box.write(QStringLiteral("template_item.txt"), "<h2>[title]</h2><p>[description]</p>\r\n");
        box.services.clock = QDateTime(QDate(2016, 6, 15), QTime(12, 0));
        window = std::make_unique<frmMain>(box.services);
        window->Form_Load();
        probe = std::make_unique<BenchProbe>(*window);
    }
    Sandbox box;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<BenchProbe> probe;
};

void sizes(benchmark::internal::Benchmark *b)
{
    for (int n : {1'000, 10'000, 100'000, 1'000'000})
        b->Arg(n);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_LoadAppointments(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    for (auto _ : state)
        f.probe->loadAppointments();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadAppointments)->Apply(sizes);

// CPU is the whole process's, the kernel's work for the write included, so
// that no share of a save can hide in another thread.
// Saves come from the user's commands, never within a tick of the file
// system's clock of each other; a save that close to the last confirms the
// file by its bytes (a read of the whole file) before it writes, which
// BM_SaveAppointmentsBackToBack shows.
void BM_SaveAppointments(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    for (auto _ : state) {
        state.PauseTiming();
        QThread::msleep(150);
        state.ResumeTiming();
        benchmark::DoNotOptimize(f.probe->saveAppointments());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveAppointments)->Apply(sizes)->MeasureProcessCPUTime();

void BM_SaveAppointmentsBackToBack(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(f.probe->saveAppointments());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveAppointmentsBackToBack)->Apply(sizes)->MeasureProcessCPUTime();

// The floor under a save: the flush to disk of a freshly written file of the
// same size, the part that makes a save survive a power cut.
void BM_FlushFloor(benchmark::State &state)
{
    Sandbox box;
    const QByteArray bytes = AppointmentFile::encode(DataGen::appointments(state.range(0)));
    const QString path = box.dataPath(QStringLiteral("flush.bin"));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(path);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            state.SkipWithError("the file could not be written");
            break;
        }
        file.flush();
        state.ResumeTiming();
        ::fsync(file.handle());
    }
}
BENCHMARK(BM_FlushFloor)->Apply(sizes);

// The whole cycle after one edit: save, load, marks and the day list.
void BM_ReloadAppointments(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    int edit = 0;
    for (auto _ : state) {
        // A user's edits are not within a tick of the file system's clock (see above).
        state.PauseTiming();
        QThread::msleep(150);
        state.ResumeTiming();
        f.probe->appointment(0).Title = QStringLiteral("Edited %1").arg(++edit);
        f.probe->reloadAppointments();
    }
}
BENCHMARK(BM_ReloadAppointments)->Apply(sizes);

void BM_RefreshDayView(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    for (auto _ : state)
        f.probe->refreshDayView();
}
BENCHMARK(BM_RefreshDayView)->Apply(sizes);

// What the user waits for when picking another day of the month.
void BM_SelectAnotherDay(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    int day = 0;
    for (auto _ : state) {
        day = day % 28 + 1;
        f.probe->calendar()->setSelectedDate(QDateTime(QDate(2016, 6, day), QTime(12, 0)));
    }
}
BENCHMARK(BM_SelectAnotherDay)->Apply(sizes);

void BM_RefreshMonthMarks(benchmark::State &state)
{
    Fixture f(state.range(0), 0);
    for (auto _ : state)
        f.probe->refreshMonthMarks();
}
BENCHMARK(BM_RefreshMonthMarks)->Apply(sizes);

void BM_LoadToDos(benchmark::State &state)
{
    Fixture f(0, state.range(0));
    for (auto _ : state)
        f.probe->loadToDos();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadToDos)->Apply(sizes);

void BM_SaveToDos(benchmark::State &state)
{
    Fixture f(0, state.range(0));
    ExportToDo = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(f.probe->saveToDos());
}
BENCHMARK(BM_SaveToDos)->Apply(sizes);

// The page of every pending item, the most the export can be asked for.
void BM_UpdateToDoHTML(benchmark::State &state)
{
    Fixture f(0, state.range(0));
    ExportToDoItems = 0;
    for (auto _ : state)
        f.window->toDoPane()->UpdateToDoHTML();
}
BENCHMARK(BM_UpdateToDoHTML)->Apply(sizes);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pinLocale();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
