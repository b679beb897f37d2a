// Migrates a large generated version-12 data directory and does the same database work with
// standard tools (cp and the sqlite3 shell, once with its defaults and once tuned as the
// migrator's working copies are), then prints the wall times, their ratios and the migrator's
// peak resident memory for each scale of the data.
//     migration-bench [--scales 1,4] [--work DIR] [--folders N] [--jobs N] [--events N]
//                     [--deleted N] [--messages N]
#include "fixtures/v12data.hpp"
#include "libs/datetime/timepoint.hpp"
#include "migrator/service/databasesteps.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

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
    std::string work = "/tmp/qelt-bench";
    Fixtures::V12Options data;
};

struct Run {
    double seconds = 0;
    long peakKib = 0;
    int status = 0;
};

// Runs a program (no shell) and reports its wall time, peak memory and exit status.
Run runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {})
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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()))
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
    posix_spawn_file_actions_destroy(&actions);
    Run run;
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

std::string quoted(const std::string& text)
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

// cp of each database, then the same script through the sqlite3 shell on the copy. The
// commands and scripts go to files: a thousand job folders make a command line too long to pass.
double runFloor(const std::string& dir, bool tuned)
{
    const std::string scripts = dir + ".scripts";
    fs::create_directories(scripts);
    std::ofstream commands(scripts + "/floor.sh");
    unsigned count = 0;
    std::map<std::string, std::string> scriptFiles;
    for (const FloorFile& file : floorFiles(dir)) {
        const std::string script = (tuned ? std::string(tunedPragmas) : std::string()) + file.script;
        std::string& scriptFile = scriptFiles[script];
        if (scriptFile.empty()) {
            scriptFile = scripts + "/" + std::to_string(count++) + ".sql";
            std::ofstream(scriptFile) << script << "\n";
        }
        const std::string copy = file.path + ".new";
        commands << "cp " << quoted(file.path) << ' ' << quoted(copy) << " && sqlite3 -bail " << quoted(copy)
                 << " < " << quoted(scriptFile) << " >/dev/null || exit 1\n";
        if (tuned)
            commands << "sync " << quoted(copy) << " || exit 1\n";
    }
    commands.close();
    const Run run = runProgram({"/bin/sh", scripts + "/floor.sh"});
    check(run, tuned ? "tuned floor" : "default floor");
    fs::remove_all(scripts);
    return run.seconds;
}

Run runMigrator(const std::string& dir, const std::string& registry)
{
    std::ofstream(registry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings]\r\n"
                               "\"DataDirectory\"=\"" << dir << "\"\r\n";
    Run run = runProgram({QELT_MIGRATOR_PATH, "m"}, {"QELT_REGISTRY_FILE=" + registry});
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
    check(shell("cp -a " + quoted(from) + ' ' + quoted(to)), "copy of the data directory");
    check(shell("sync"), "sync");
}

void benchmarkScale(const Options& options, unsigned scale)
{
    Fixtures::V12Options data = options.data;
    data.folders *= scale;
    data.events *= scale;
    data.deletedJobs *= scale;
    data.messages *= scale;
    const std::string base = options.work + "/x" + std::to_string(scale);
    const std::string source = base + "/source";
    fs::remove_all(base);
    fs::create_directories(base);
    std::cout << "x" << scale << ": generating " << data.folders << " job folders of " << data.jobs << " jobs, "
              << data.events << " events, " << data.deletedJobs << " deleted jobs, " << data.messages
              << " messages..." << std::flush;
    Fixtures::createV12DataDirectory(source, data);
    std::cout << " " << directorySize(source) / (1024 * 1024) << " MiB\n";

    const std::string migrated = base + "/migrator";
    copyTree(source, migrated);
    const Run migrator = runMigrator(migrated, base + "/registry.reg");

    const std::string plain = base + "/floor-default";
    copyTree(source, plain);
    const double floorDefault = runFloor(plain, false);
    fs::remove_all(plain);

    const std::string tuned = base + "/floor-tuned";
    copyTree(source, tuned);
    const double floorTuned = runFloor(tuned, true);
    fs::remove_all(tuned);
    fs::remove_all(migrated);
    fs::remove_all(source);

    std::printf("x%u: migrator %.2f s, peak %.1f MiB | floor default %.2f s (ratio %.2f) | floor tuned %.2f s (ratio %.2f)\n",
                scale, migrator.seconds, migrator.peakKib / 1024.0, floorDefault, migrator.seconds / floorDefault,
                floorTuned, migrator.seconds / floorTuned);
    std::fflush(stdout);
}

Options parse(int argc, char** argv)
{
    Options options;
    options.data.folders = 1000;
    options.data.jobs = 200;
    options.data.events = 1000000;
    options.data.oldEventFraction = 1.0 / 3;
    options.data.deletedJobs = 100000;
    options.data.messages = 200000;
    options.data.sessionFiles = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--work")
            options.work = value;
        else if (name == "--scales") {
            options.scales.clear();
            std::istringstream list(value);
            for (std::string item; std::getline(list, item, ',');)
                options.scales.push_back(static_cast<unsigned>(std::stoul(item)));
        } else if (name == "--folders")
            options.data.folders = static_cast<unsigned>(std::stoul(value));
        else if (name == "--jobs")
            options.data.jobs = static_cast<unsigned>(std::stoul(value));
        else if (name == "--events")
            options.data.events = static_cast<unsigned>(std::stoul(value));
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
        for (unsigned scale : options.scales)
            benchmarkScale(options, scale);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "migration-bench: " << e.what() << '\n';
        return 1;
    }
}
