// Migrates a large generated version-12 data directory, once with every optional index and once
// without any, and does the same database work with standard tools: cp and the sqlite3 shell,
// tuned as the migrator's working copies are, on the data with the indexes (without them the
// scripts alone run their trigger lookups in quadratic time, so that is the fastest floor there
// is). Prints for each scale the wall time of the whole run and of each step against the floor,
// the migrator's peak resident memory in each step, and each time's growth from scale to scale.
//     migration-bench [--scales 1,4] [--events N[,N...]] [--work DIR] [--folders N] [--jobs N]
//                     [--deleted N] [--messages N] [--old-share F] [--without-indexes 0|1]
// The scales multiply the sizes of the data. --events with one number sets the history events of
// scale 1; with a list, each number is the events of one run, at scale 1 or at the scale given in
// the same position of --scales, for example --events 1000000,8000000,32000000 for the history
// step at large sizes.
#include "fixtures/v12data.hpp"
#include "libs/datetime/timepoint.hpp"
#include "migrator/service/version13/databasesteps.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Options {
    std::vector<unsigned> scales{1, 4};
    bool scalesGiven = false;
    std::vector<unsigned> events{1000000};
    std::string work = "/tmp/qelt-bench";
    Fixtures::V12Options data;
    bool withoutIndexes = true;
};

// The steps that the floor times one by one, named as the migrator reports them.
const std::vector<std::string> steps{"studies", "messages", "history records", "users", "notifications"};
using StepTimes = std::map<std::string, double>;

struct Run {
    double seconds = 0;
    long peakKib = 0;
    int status = 0;
    // The time from each "Migrating <step>..." report to the next line.
    StepTimes steps;
    // The peak resident memory in KiB during each step.
    StepTimes stepPeakKib;
};

// The step a "Migrating <step>..." line begins; empty for other lines.
std::string stepOfLine(const std::string& line)
{
    const std::string prefix = "Migrating ";
    if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 3)
        return std::string();
    return line.substr(prefix.size(), line.size() - prefix.size() - 3);
}

// The peak resident memory of the running process in KiB, which then starts counting anew (the
// kernel resets the peak when "5" is written to clear_refs); 0 when it cannot be read.
long takePeakKib(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc + "/status");
    long peak = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            peak = std::stol(line.substr(6));
    std::ofstream(proc + "/clear_refs") << "5";
    return peak;
}

// Reads the program's standard output until it ends, timing each step from its report line to
// the next line and taking the peak memory of each.
void timeSteps(int output, pid_t pid, std::chrono::steady_clock::time_point start, Run& run)
{
    StepTimes& times = run.steps;
    std::string pending;
    std::string step;
    auto stepStart = start;
    char buffer[4096];
    for (ssize_t got; (got = ::read(output, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const long peak = takePeakKib(pid);
            if (!step.empty()) {
                times[step] += std::chrono::duration<double>(now - stepStart).count();
                run.stepPeakKib[step] = std::max(run.stepPeakKib[step], static_cast<double>(peak));
            }
            step = stepOfLine(pending.substr(0, end));
            stepStart = now;
        }
    }
}

// Runs a program (no shell) and reports its wall time, peak memory and exit status; with
// timeSteps also the time of each step it reports on its standard output.
Run runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {},
               bool withSteps = false)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnvironment);
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int pipeEnds[2] = {-1, -1};
    if (withSteps && ::pipe(pipeEnds) != 0)
        throw std::runtime_error("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withSteps) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()))
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
    posix_spawn_file_actions_destroy(&actions);
    Run run;
    if (withSteps) {
        ::close(pipeEnds[1]);
        timeSteps(pipeEnds[0], pid, start, run);
        ::close(pipeEnds[0]);
    }
    struct rusage usage {};
    if (wait4(pid, &run.status, 0, &usage) != pid)
        throw std::runtime_error("cannot wait for " + args[0]);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKib = usage.ru_maxrss;
    return run;
}

Run shell(const std::string& command)
{
    return runProgram({"/bin/sh", "-c", command});
}

void check(const Run& run, const std::string& what)
{
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0)
        throw std::runtime_error(what + " failed with status " + std::to_string(run.status));
}

std::string shellQuoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The deleted-jobs conversion as one UPDATE: "code#n:m" keeps "code#n", "n:m" becomes "#n",
// anything else with a ":" the empty identifier "#0"; localContact goes from every row.
const char* const deletedJobsFloorScript =
    "BEGIN EXCLUSIVE TRANSACTION;"
    "UPDATE deletedJobs SET details=json_remove(CASE WHEN json_extract(details,'$.details.distantInstitution') LIKE '%:%' "
    "THEN json_replace(details,'$.details.distantInstitution',"
    "(WITH p(a) AS (SELECT substr(json_extract(details,'$.details.distantInstitution'),1,"
    "instr(json_extract(details,'$.details.distantInstitution'),':')-1)) "
    "SELECT CASE WHEN a GLOB '[0-9]*' AND a NOT GLOB '*[^0-9]*' THEN '#'||a "
    "WHEN a GLOB '*#[0-9]*' THEN a ELSE '#0' END FROM p)) ELSE details END,'$.details.localContact');"
    "COMMIT;VACUUM;ANALYZE;";

const char* const tunedPragmas = "PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;PRAGMA cache_size=-12288;";

struct FloorFile {
    std::string path;
    std::string script;
};

std::vector<FloorFile> floorFiles(const std::string& dir)
{
    const std::int64_t cutoff = Migration::historyCutoff(Datetime::nowDateTime());
    std::vector<FloorFile> files{
        {dir + "/study/jobs.db", Migration::jobsScript},
        {dir + "/study/deleted.db", deletedJobsFloorScript},
        {dir + "/message/message.db", Migration::messagesScript},
        {dir + "/record/rm.db", Migration::historyScript(cutoff)},
        {dir + "/conf/user.db", Migration::usersScript},
        {dir + "/conf/notification.db", Migration::notificationsScript},
    };
    for (const fs::directory_entry& entry : fs::directory_iterator(dir + "/study"))
        if (entry.is_directory() && entry.path().filename() != "session" && fs::exists(entry.path() / "job.db"))
            files.push_back({(entry.path() / "job.db").string(), Migration::jobsScript});
    return files;
}

// The step of the migrator that works on the database at path.
std::string stepOf(const std::string& path)
{
    if (path.find("/study/") != std::string::npos)
        return "studies";
    if (path.find("/message/") != std::string::npos)
        return "messages";
    if (path.find("/record/") != std::string::npos)
        return "history records";
    return path.find("/user.db") != std::string::npos ? "users" : "notifications";
}

// cp of each database, then the same script through the sqlite3 shell (tuned as the working
// copies are) on the copy, one timed shell script per step. The commands and scripts go to
// files: a thousand job folders make a command line too long to pass.
StepTimes runFloor(const std::string& dir)
{
    const std::string scripts = dir + ".scripts";
    fs::create_directories(scripts);
    std::map<std::string, std::string> scriptFiles;
    std::map<std::string, std::string> commands;
    for (const FloorFile& file : floorFiles(dir)) {
        const std::string script = std::string(tunedPragmas) + file.script;
        std::string& scriptFile = scriptFiles[script];
        if (scriptFile.empty()) {
            scriptFile = scripts + "/" + std::to_string(scriptFiles.size()) + ".sql";
            std::ofstream(scriptFile) << script << "\n";
        }
        const std::string copy = file.path + ".new";
        commands[stepOf(file.path)] += "cp " + shellQuoted(file.path) + ' ' + shellQuoted(copy) + " && sqlite3 -bail " +
                                       shellQuoted(copy) + " < " + shellQuoted(scriptFile) + " >/dev/null && sync " +
                                       shellQuoted(copy) + " || exit 1\n";
    }
    StepTimes times;
    for (const auto& [step, text] : commands) {
        const std::string commandFile = scripts + "/" + step + ".sh";
        std::ofstream(commandFile) << text;
        const Run run = runProgram({"/bin/sh", commandFile});
        check(run, "floor of " + step);
        times[step] = run.seconds;
    }
    fs::remove_all(scripts);
    return times;
}

Run runMigrator(const std::string& dir, const std::string& registry)
{
    std::ofstream(registry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings]\r\n"
                               "\"DataDirectory\"=\"" << dir << "\"\r\n";
    Run run = runProgram({QELT_MIGRATOR_PATH, "m"}, {"QELT_REGISTRY_FILE=" + registry}, true);
    check(run, "migrator");
    return run;
}

std::uintmax_t directorySize(const std::string& dir)
{
    std::uintmax_t size = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            size += entry.file_size();
    return size;
}

void copyTree(const std::string& from, const std::string& to)
{
    fs::remove_all(to);
    check(shell("cp -a " + shellQuoted(from) + ' ' + shellQuoted(to)), "copy of the data directory");
    check(shell("sync"), "sync");
}

double total(const StepTimes& times)
{
    double sum = 0;
    for (const auto& entry : times)
        sum += entry.second;
    return sum;
}

double lookup(const StepTimes& times, const std::string& step)
{
    const auto found = times.find(step);
    return found == times.end() ? 0 : found->second;
}

// The figures of one scale.
struct Scale {
    unsigned factor = 1;
    unsigned events = 0;
    Run withIndexes;
    Run withoutIndexes;
    StepTimes floor;
};

std::string label(const Scale& scale)
{
    return "x" + std::to_string(scale.factor) + " " + std::to_string(scale.events) + " events";
}

void printRun(const Scale& scale, const char* variant, const Run& run)
{
    std::printf("%s %-16s migrator %7.2f s, peak %5.1f MiB | floor %7.2f s | ratio %.2f\n", label(scale).c_str(),
                variant, run.seconds, run.peakKib / 1024.0, total(scale.floor), run.seconds / total(scale.floor));
    for (const std::string& step : steps) {
        const double floor = lookup(scale.floor, step);
        std::printf("    %-16s migrator %7.2f s | floor %7.2f s | ratio %.2f | peak %5.1f MiB\n", step.c_str(),
                    lookup(run.steps, step), floor, floor > 0 ? lookup(run.steps, step) / floor : 0.0,
                    lookup(run.stepPeakKib, step) / 1024.0);
    }
}

Scale benchmarkScale(const Options& options, unsigned factor, unsigned events)
{
    Fixtures::V12Options data = options.data;
    data.folders *= factor;
    data.events = events;
    data.deletedJobs *= factor;
    data.messages *= factor;
    const std::string base = options.work + "/x" + std::to_string(factor) + "-" + std::to_string(events);
    const std::string source = base + "/source";
    fs::remove_all(base);
    fs::create_directories(base);
    std::cout << "x" << factor << ": generating " << data.folders << " job folders of " << data.jobs << " jobs, "
              << data.events << " events, " << data.deletedJobs << " deleted jobs, " << data.messages
              << " messages..." << std::flush;
    Fixtures::createV12DataDirectory(source, data);
    std::cout << " " << directorySize(source) / (1024 * 1024) << " MiB\n" << std::flush;

    Scale scale;
    scale.factor = factor;
    scale.events = events;
    const std::string migrated = base + "/migrator";
    copyTree(source, migrated);
    scale.withIndexes = runMigrator(migrated, base + "/registry.reg");
    fs::remove_all(migrated);

    const std::string tuned = base + "/floor";
    copyTree(source, tuned);
    scale.floor = runFloor(tuned);
    fs::remove_all(tuned);

    if (options.withoutIndexes) {
        copyTree(source, migrated);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(migrated))
            if (entry.is_regular_file() && entry.path().extension() == ".db")
                Fixtures::removeOptionalIndexes(entry.path().string());
        check(shell("sync"), "sync");
        scale.withoutIndexes = runMigrator(migrated, base + "/registry.reg");
        fs::remove_all(migrated);
    }
    fs::remove_all(base);

    printRun(scale, "with indexes", scale.withIndexes);
    if (options.withoutIndexes) {
        printRun(scale, "without indexes", scale.withoutIndexes);
        std::printf("    without/with %.2f\n", scale.withoutIndexes.seconds / scale.withIndexes.seconds);
    }
    std::fflush(stdout);
    return scale;
}

// How much each time grew from one scale to the next: the migrator's against the floor's.
void printGrowth(const Scale& first, const Scale& last)
{
    const auto ratio = [](double a, double b) { return a > 0 ? b / a : 0.0; };
    std::printf("growth %s -> %s: migrator with indexes %.2f, without %.2f | floor %.2f\n", label(first).c_str(),
                label(last).c_str(), ratio(first.withIndexes.seconds, last.withIndexes.seconds),
                ratio(first.withoutIndexes.seconds, last.withoutIndexes.seconds),
                ratio(total(first.floor), total(last.floor)));
    for (const std::string& step : steps) {
        const auto growth = [&](const StepTimes& a, const StepTimes& b) {
            return ratio(lookup(a, step), lookup(b, step));
        };
        std::printf("    %-16s with %.2f, without %.2f | floor %.2f | peak with %.2f\n", step.c_str(),
                    growth(first.withIndexes.steps, last.withIndexes.steps),
                    growth(first.withoutIndexes.steps, last.withoutIndexes.steps), growth(first.floor, last.floor),
                    growth(first.withIndexes.stepPeakKib, last.withIndexes.stepPeakKib));
    }
}

std::vector<unsigned> numbers(const std::string& list)
{
    std::vector<unsigned> values;
    std::istringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        values.push_back(static_cast<unsigned>(std::stoul(item)));
    return values;
}

Options parse(int argc, char** argv)
{
    Options options;
    options.data.folders = 1000;
    options.data.jobs = 200;
    options.data.oldEventFraction = 0.4;
    options.data.deletedJobs = 100000;
    options.data.messages = 200000;
    options.data.sessionFiles = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--work")
            options.work = value;
        else if (name == "--scales") {
            options.scales = numbers(value);
            options.scalesGiven = true;
        } else if (name == "--events")
            options.events = numbers(value);
        else if (name == "--old-share")
            options.data.oldEventFraction = std::stod(value);
        else if (name == "--without-indexes")
            options.withoutIndexes = value != "0";
        else if (name == "--folders")
            options.data.folders = static_cast<unsigned>(std::stoul(value));
        else if (name == "--jobs")
            options.data.jobs = static_cast<unsigned>(std::stoul(value));
        else if (name == "--deleted")
            options.data.deletedJobs = static_cast<unsigned>(std::stoul(value));
        else if (name == "--messages")
            options.data.messages = static_cast<unsigned>(std::stoul(value));
        else
            throw std::invalid_argument("unknown option " + name);
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = parse(argc, argv);
        std::vector<Scale> scales;
        if (options.events.size() == 1) {
            for (unsigned factor : options.scales)
                scales.push_back(benchmarkScale(options, factor, options.events[0] * factor));
        } else {
            for (std::size_t i = 0; i < options.events.size(); ++i)
                scales.push_back(benchmarkScale(
                    options, options.scalesGiven && options.scales.size() == options.events.size() ? options.scales[i] : 1,
                    options.events[i]));
        }
        for (std::size_t i = 1; i < scales.size(); ++i)
            printGrowth(scales[i - 1], scales[i]);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "migration-bench: " << e.what() << '\n';
        return 1;
    }
}
