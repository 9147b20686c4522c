#include "app/runner.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

extern char **environ;

namespace {

// Appends instead of operator+: GCC 12 warns falsely (-Wrestrict) on some chains of it.
std::string cat(const std::string &a, const std::string &b, const std::string &c = "") {
  std::string out;
  out.reserve(a.size() + b.size() + c.size());
  out.append(a);
  out.append(b);
  out.append(c);
  return out;
}

}  // namespace

std::string makefolder(const std::string &prefix) {
  std::string pattern = cat(prefix, "XXXXXX");
  char *made = mkdtemp(pattern.data());
  return made != nullptr ? std::string(made) : std::string();
}

std::string lwdemopath() { return cat(LWDEMO_BINARY_DIR, "/lwdemo"); }

Child startprogram(const std::string &program, const std::vector<std::string> &args,
                   const std::string &folder, const Environment &changes) {
  Child child;
  child.outpath = cat(folder, ".stdout");
  child.errpath = cat(folder, ".stderr");
  // Everything the child needs is built before fork: only async-signal-safe calls after.
  std::vector<std::string> envstrings;
  for (char **e = environ; *e != nullptr; e++) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool changed = false;
    for (const auto &c : changes) changed = changed || c.first == name;
    if (!changed) envstrings.push_back(entry);
  }
  for (const auto &c : changes)
    if (!c.second.empty()) envstrings.push_back(cat(c.first, "=", c.second));
  std::vector<char *> envp;
  for (auto &s : envstrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argstrings{program};
  argstrings.insert(argstrings.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (auto &s : argstrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  const int out = open(child.outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(child.errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    const int nul = open("/dev/null", O_RDONLY);
    dup2(nul, 0);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  close(err);
  child.pid = pid;
  return child;
}

RunResult finishprogram(Child *child, int timeoutms) {
  RunResult result;
  if (child->pid <= 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutms);
  int status = 0;
  for (;;) {
    const int r = waitpid(child->pid, &status, WNOHANG);
    if (r == child->pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child->pid, SIGKILL);
      waitpid(child->pid, &status, 0);
      result.timedout = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  child->pid = -1;
  if (!result.timedout && WIFEXITED(status)) result.exitcode = WEXITSTATUS(status);
  result.out = readfile(child->outpath);
  result.err = readfile(child->errpath);
  return result;
}

RunResult runprogram(const std::string &program, const std::vector<std::string> &args,
                     const std::string &folder, const Environment &changes, int timeoutms) {
  Child child = startprogram(program, args, folder, changes);
  return finishprogram(&child, timeoutms);
}

RunResult runlwdemo(const std::string &folder, const Environment &changes, int timeoutms) {
  Environment env{{"LWDEMO_VIDEO", "headless"}, {"LWDEMO_PACING", "off"}};
  for (const auto &c : changes) {
    bool replaced = false;
    for (auto &e : env)
      if (e.first == c.first) {
        e.second = c.second;
        replaced = true;
      }
    if (!replaced) env.push_back(c);
  }
  return runprogram(lwdemopath(), {}, folder, env, timeoutms);
}

int haveprogram(const char *name) {
  const char *path = getenv("PATH");
  if (path == nullptr) return 0;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = cat(dir, "/", name);
    if (access(candidate.c_str(), X_OK) == 0) return 1;
  }
  return 0;
}

int startxserver(XServer *server, const std::vector<std::string> &extra) {
  // -displayfd: the server picks a free display number and writes it to the pipe once
  // it accepts connections, so there is neither a guess nor a wait.
  int fds[2];
  if (pipe(fds) != 0) return 0;
  std::vector<std::string> args{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                "1024x768x24", "-nolisten", "tcp", "-noreset"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const int nul = open("/dev/null", O_RDWR);
    dup2(nul, 0);
    dup2(nul, 1);
    dup2(nul, 2);
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return 0;
  }
  char buffer[32] = {0};
  size_t got = 0;
  while (got < sizeof(buffer) - 1) {
    const ssize_t n = read(fds[0], buffer + got, sizeof(buffer) - 1 - got);
    if (n <= 0) break;
    got += (size_t)n;
    if (memchr(buffer, '\n', got) != nullptr) break;
  }
  close(fds[0]);
  const int number = atoi(buffer);
  if (got == 0 || buffer[0] < '0' || buffer[0] > '9') {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 0;
  }
  server->pid = pid;
  char display[16];
  snprintf(display, sizeof(display), ":%d", number);
  server->display = display;
  return 1;
}

void stopxserver(XServer *server) {
  if (server->pid > 0) {
    kill(server->pid, SIGTERM);
    waitpid(server->pid, nullptr, 0);
  }
  server->pid = -1;
}
