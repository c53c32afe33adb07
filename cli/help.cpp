#include "cli/help.h"

#include <iterator>

namespace vexlo::cli {

namespace {

struct CommandHelp {
    const char* name;
    const char* forms;    // one line each, without "vexlo-cli [-C DIR]"
    const char* about;    // what it does
    const char* options;  // a line per option or argument
};

// clang-format off
constexpr CommandHelp kCommands[] = {
    {"server",
     "server HOST [--port N] [--conn N] [--retries N] [--user USER [--pass PASS] | --no-auth]\n"
     "       [--tls | --starttls [--no-verify] [--ca FILE] | --no-tls]\n",
     "Sets the news server and how to connect to it.\n",
     "  HOST          host name or dotted IPv4 address\n"
     "  --port N      TCP port, 1 to 65535 (119 when never set)\n"
     "  --conn N      channels: parallel connections, 1 to 8\n"
     "  --retries N   how often a failed task is tried again, 0 to 65535\n"
     "  --user USER   log in as USER; the password comes from --pass, else from\n"
     "                VEXLO_PASS, else from a prompt that does not echo (typed twice)\n"
     "  --pass PASS   the password (ps and the shell history see it: prefer VEXLO_PASS)\n"
     "  --no-auth     the server needs no login\n"
     "  --tls         encrypted from the first byte (NNTPS, usually port 563)\n"
     "  --starttls    encrypted with STARTTLS after the greeting; a server that\n"
     "                refuses it is not used\n"
     "  --no-verify   accept any certificate (self-signed ones; noted in DEBUG.TXT)\n"
     "  --ca FILE     also trust the certificates in FILE (PEM)\n"
     "  --no-tls      plain text again\n"},
    {"set",
     "set\n"
     "set NAME\n"
     "set NAME VALUE [NAME VALUE]...\n",
     "Shows every setting of DATA/_SETUP.INI, or one; with values, changes them\n"
     "(all or none: a bad value refuses the whole command).\n",
     "  Server TEXT            host name or address\n"
     "  Port N                 1 to 65535\n"
     "  Conn N                 channels, 1 to 8\n"
     "  Retries N              0 to 65535\n"
     "  Auth on|off            log in (needs User and Pass)\n"
     "  User TEXT, Pass TEXT   login name and password\n"
     "  Affinity LIST          channels of new downloads, e.g. 1,2 (within Conn)\n"
     "  TLS N                  encryption: 0 none, 1 NNTPS, 2 STARTTLS\n"
     "  TlsVerify on|off       check the server's certificate and host name\n"
     "  TlsCaFile FILE         extra trusted certificates (PEM), or \"\"\n"
     "  OPT_NAME on|off        an option bit; `set` lists their names\n"
     "  SaveQueue N            auto-save interval: 15, 30, 60, 300, 600 or 900 seconds\n"
     "  ChanMaxBPS N           per-channel speed limit, 1 to 99 KB/s\n"
     "  AppTitle TEXT          window title prefix, 1 to 259 characters\n"
     "  SaveDefault DIR        default save-to folder (an existing directory, or \"\")\n"
     "  LVCWH, LVCWG, LVCWQ    column widths, 4, 6 or 8 numbers joined by \":\"\n"},
    {"group",
     "group list\n"
     "group add NAME [--dir DIR]\n"
     "group remove NAME...\n"
     "group reset NAME...\n"
     "group dir NAME... DIR [--subfolder]\n",
     "The newsgroup list (DATA/_GROUPS.DAT).\n",
     "  list          the groups with their counts, last scan and save-to directory\n"
     "  add NAME      adds a group saving into DIR (created when missing),\n"
     "                by default downloads/NAME/\n"
     "  remove NAME   removes groups and their header data\n"
     "  reset NAME    drops the header data; the next scan starts from the first article\n"
     "  dir NAME DIR  the save-to directory of the groups becomes DIR, an existing directory\n"
     "  --subfolder   (dir) each group saves into DIR/NAME\n"},
    {"groups",
     "groups fetch [--filter TEXT]\n"
     "groups list [--filter TEXT]\n"
     "groups add NAME... [--dir DIR] [--subfolder]\n",
     "The server's full group list (DATA/_GROUPS.ALL).\n",
     "  fetch         downloads the list from the server (LIST) and prints the matching names\n"
     "  list          prints the names of the stored list, sorted, without fetching\n"
     "  --filter TEXT only names containing TEXT (case-sensitive); list: \"binaries\" when\n"
     "                not given, \"\" for every name\n"
     "  add NAME      adds groups to the newsgroup list, skipping those already listed\n"
     "  --dir DIR     (add) an existing directory to save into; without it each group\n"
     "                saves into downloads/NAME/\n"
     "  --subfolder   (add) each group saves into DIR/NAME\n"},
    {"scan",
     "scan (--all | GROUP...)\n",
     "Scans the groups for new headers and runs only these scans (a scan of the\n"
     "group that is waiting in the queue already is run instead of a new one).\n",
     "  --all         every group of the newsgroup list\n"
     "  GROUP         groups of the newsgroup list\n"},
    {"list",
     "list GROUP [--msg] [--filter TEXT] [--new]\n",
     "Lists a scanned group's binaries (or messages), with the index that get and join take.\n",
     "  --msg         single messages instead of binaries\n"
     "  --filter TEXT only rows whose subject or poster contain TEXT (any letter case)\n"
     "  --new         only rows new since the scan before the last\n"},
    {"get",
     "get GROUP (--all | --filter TEXT | INDEX...) [--dir DIR] [--top] [--channels LIST]\n",
     "Queues a download task for each chosen binary.\n",
     "  --all         every binary of the group\n"
     "  --filter TEXT the binaries whose subject or poster contain TEXT\n"
     "  INDEX         binaries by their index in `list`\n"
     "  --dir DIR     save into DIR instead of the group's directory\n"
     "  --top         at the top of the queue\n"
     "  --channels LIST  channels that may run the tasks, e.g. 1,3 (within Conn);\n"
     "                they become the Affinity setting for the next get\n"},
    {"join",
     "join GROUP INDEX... [--dir DIR] [--top]\n",
     "Queues one download of single messages joined in the order given.\n",
     "  INDEX         messages by their index in `list --msg`\n"
     "  --dir DIR     save into DIR instead of the group's directory\n"
     "  --top         at the top of the queue\n"},
    {"queue",
     "queue [list]\n"
     "queue info ID\n"
     "queue delete|requeue ID...\n"
     "queue top|bottom|up|down ID...\n"
     "queue channels ID... LIST\n"
     "queue clear\n",
     "The download queue (DATA/_QUEUE.DAT).\n",
     "  list          every task: ID, state, progress, parts, size, type, channels\n"
     "  info ID       the task information rows\n"
     "  delete ID     removes tasks\n"
     "  requeue ID    makes finished or failed tasks wait again (a download resumes)\n"
     "  top, bottom   moves the tasks to the top or the bottom, keeping their order\n"
     "  up, down      moves the tasks one place\n"
     "  channels ID... LIST  the channels that may run the tasks, e.g. 1,2 (within Conn)\n"
     "  clear         removes every task\n"},
    {"run",
     "run\n",
     "Runs the waiting tasks of the queue until none is left. The queue is saved\n"
     "after every finished task and every 15 s; Ctrl-C, SIGHUP and SIGTERM stop it\n"
     "(a second one quits at once).\n",
     ""},
    {"stats",
     "stats\n",
     "Shows the transfer counters of all time and of the last run or scan.\n",
     ""},
    {"test",
     "test [--connections N]\n",
     "Connects (and logs in) N times at once and shows each greeting or error.\n",
     "  --connections N  1 to 8 (the Conn setting when not given)\n"},
    {"help",
     "help [COMMAND]\n",
     "Shows the usage, or a command's forms and options (also: COMMAND --help).\n",
     ""},
};
// clang-format on

const CommandHelp* Find(const std::string& name) {
    for (const CommandHelp& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

// Each line of `forms` behind `prefix`.
void PrintForms(const char* forms, const char* prefix, FILE* out) {
    for (const char* line = forms; *line != '\0';) {
        const char* end = line;
        while (*end != '\n' && *end != '\0') ++end;
        std::fprintf(out, "%s%.*s\n", prefix, static_cast<int>(end - line), line);
        line = *end == '\n' ? end + 1 : end;
    }
}

}  // namespace

bool IsCommand(const std::string& name) {
    return Find(name) != nullptr;
}

void PrintUsage(FILE* out) {
    std::fputs("usage: vexlo-cli [-C DIR] COMMAND ...\n", out);
    for (const CommandHelp& command : kCommands) PrintForms(command.forms, "  ", out);
    std::fputs("  --version\n", out);
}

bool PrintCommandHelp(const std::string& name, FILE* out) {
    const CommandHelp* command = Find(name);
    if (command == nullptr) return false;
    PrintForms(command->forms, "usage: vexlo-cli [-C DIR] ", out);
    std::fprintf(out, "\n%s", command->about);
    if (command->options[0] != '\0') std::fprintf(out, "\n%s", command->options);
    return true;
}

}  // namespace vexlo::cli
