#include "migrator/service/framework/framework.hpp"

#include "migrator/service/framework/consolekeys.hpp"
#include "migrator/service/replacement/record.hpp"
#include "migrator/service/framework/terminal.hpp"

#include "libs/log/entry.hpp"
#include "libs/log/logger.hpp"

#include <iostream>
#include <utility>

namespace Migration {

namespace {

struct CommandEntry {
    Framework::Command command;
    char letter;
    const char* name;
};

const CommandEntry commandTable[] = {
    {Framework::Help, 'h', "help"},
    {Framework::Analyze, 'a', "analyze"},
    {Framework::Repair, 'r', "repair"},
    {Framework::Migrate, 'm', "migrate"},
    {Framework::Interactive, 'i', "interactive"},
};

const unsigned consoleBit = 0x01;
const unsigned logBit = 0x02;
const unsigned errorBit = 0x10;
const unsigned warningBit = 0x20;

const char* const skippedLeadingCharacters = "-/\\ \t\n\r";

const char* const interactivePrompt =
    "(A)nalyze, (M)igrate, (R)epair, command line (H)elp, or anything else to exit: ";

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiLower(const std::string& text) {
    std::string lower(text);
    for (char& c : lower)
        c = asciiLower(c);
    return lower;
}

bool matches(const CommandEntry& entry, const std::string& argument) {
    if (argument.empty())
        return false;
    return asciiLower(argument[0]) == entry.letter || asciiLower(argument) == entry.name;
}

} // namespace

Framework::Framework(const std::string& configFile, const std::string& applicationName)
    : configFile_(configFile),
      applicationName_(applicationName),
      console_(&std::cout),
      keys_(std::make_unique<ConsoleKeys>()),
      progress_(terminalSink(Terminal::standardError())) {}

Framework::~Framework() = default;

int Framework::run(int argc, const char* const argv[]) {
    setProgramName(argc > 0 && argv[0] ? argv[0] : "");
    parseCommandLine(argc, argv);
    execute();
    return exitCode_;
}

bool Framework::setProgramName(const std::string& name) {
    programName_ = name;
    return true;
}

bool Framework::parseCommandLine(int argc, const char* const argv[]) {
    command_ = Help;
    for (int i = 1; i < argc; ++i) {
        const std::string received = argv[i] ? argv[i] : "";
        const std::string::size_type start = received.find_first_not_of(skippedLeadingCharacters);
        const std::string argument = start == std::string::npos ? std::string() : received.substr(start);
        bool found = false;
        for (const CommandEntry& entry : commandTable) {
            if (matches(entry, argument)) {
                command_ = entry.command;
                found = true;
                break;
            }
        }
        if (!found)
            message(Warning, "Invalid command '" + received + "'.");
    }
    return true;
}

void Framework::execute() {
    printBanner();
    runCommand(command_);
}

bool Framework::runCommand(Command command) {
    switch (command) {
    case Help:
        help();
        return true;
    case Analyze:
        return analyze();
    case Repair:
        return repair();
    case Migrate:
        return migrate();
    case Interactive:
        return interactive();
    }
    return true;
}

void Framework::printBanner() {
    message(Information, title());
}

void Framework::help() {
    message(Text, usage() + "\n");
}

std::string Framework::usage() const {
    std::string text = programName_ + " [harmi]\n\n";
    for (const CommandEntry& entry : commandTable) {
        std::string name = entry.name;
        name.resize(13, ' ');
        text += std::string(1, entry.letter) + " " + name + "- ";
        switch (entry.command) {
        case Help: text += "prints this help (default)"; break;
        case Analyze: text += "checks data integrity of current version"; break;
        case Repair: text += "repairs data of current version"; break;
        case Migrate: text += "migrate previous version of data to current"; break;
        case Interactive: text += "runs in interactive mode"; break;
        }
        text += "\n";
    }
    return text + "\n";
}

bool Framework::interactive() {
    for (;;) {
        message(Text, interactivePrompt);
        const std::optional<char> key = keys_->readKey();
        message(Text, key ? std::string(1, *key) + "\n" : std::string());
        if (!key)
            return true;
        switch (asciiLower(*key)) {
        case 'a':
            if (!analyze())
                return false;
            break;
        case 'm':
            if (!migrate())
                return false;
            break;
        case 'r':
            if (!repair())
                return false;
            break;
        case 'h':
            help();
            break;
        default:
            return true;
        }
    }
}

void Framework::message(MessageFlags flags, const std::string& text) {
    if (flags & consoleBit) {
        progress_.clear();
        const char* prefix = (flags & errorBit) ? "Error: " : (flags & warningBit) ? "Warning: " : "";
        *console_ << prefix << text << '\n' << std::flush;
    }
    if (flags & logBit)
        writeToLog(flags, text);
}

void Framework::writeToLog(MessageFlags flags, const std::string& text) {
    Log::Level level = Log::Info;
    Log::Verbosity verbosity = Log::Normal;
    if (flags & errorBit) {
        level = Log::Error;
        verbosity = Log::Silent;
    } else if (flags & warningBit) {
        level = Log::Warn;
        verbosity = Log::Summary;
    }
    const Log::Logger& logger = Log::mainLogger();
    if (!logger.isLevelEnabled(level) || !logger.isVerbosityEnabled(verbosity))
        return;
    Log::Entry entry(verbosity, level);
    entry.stream() << text;
    logger.log(entry);
}

void Framework::setExitCode(int code) {
    exitCode_ = code;
}

void Framework::addFileToReplace(const std::string& path) {
    filesToReplace_.insert(path);
}

void Framework::addFileToDelete(const std::string& path) {
    filesToDelete_.insert(path);
}

void Framework::addFolderToClear(const std::string& path) {
    foldersToClear_.insert(path);
}

std::string Framework::recordDirectory() const {
    return std::string();
}

void Framework::setConsole(std::ostream& console) {
    console_ = &console;
}

void Framework::setProgressSink(std::unique_ptr<ProgressSink> sink) {
    progress_.setSink(std::move(sink));
}

void Framework::setKeySource(std::unique_ptr<KeySource> keys) {
    if (keys)
        keys_ = std::move(keys);
}

} // namespace Migration
