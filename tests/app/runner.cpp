#include "app/runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// posix_spawnp of args (args[0] the program) with stdin from /dev/null and stdout and
// stderr to the files given ("" for /dev/null), in folder, in our environment with the
// changes of startprogram; the pid, or -1.
int spawn(std::vector<std::string> args, const std::string &folder, const Environment &changes,
          const std::string &out, const std::string &err) {
  std::vector<std::string> env;
  for (char **e = environ; *e != nullptr; e++) env.push_back(*e);
  for (const auto &[name, value] : changes) {
    std::erase_if(env, [&](const std::string &entry) { return entry.rfind(name + "=", 0) == 0; });
    if (!value.empty()) env.push_back(name + "=" + value);
  }
  std::vector<char *> argv, envp;
  for (auto &a : args) argv.push_back(a.data());
  for (auto &e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.empty() ? "/dev/null" : out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.empty() ? "/dev/null" : err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

}  // namespace

std::string makefolder(const std::string &prefix) {
  std::string pattern = prefix + "XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

std::string lwdemopath() { return std::string(LWDEMO_BINARY_DIR).append("/lwdemo"); }

Child startprogram(const std::string &program, const std::vector<std::string> &args,
                   const std::string &folder, const Environment &changes) {
  Child child{-1, folder + ".stdout", folder + ".stderr"};
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  child.pid = spawn(argv, folder, changes, child.outpath, child.errpath);
  return child;
}

RunResult finishprogram(Child *child, int timeoutms) {
  RunResult result;
  if (child->pid <= 0) return result;
  int status = 0;
  result.timedout = !waituntil([&] { return waitpid(child->pid, &status, WNOHANG) == child->pid; }, timeoutms);
  if (result.timedout) {
    kill(child->pid, SIGKILL);
    waitpid(child->pid, &status, 0);
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

Child startlwdemo(const std::string &folder, const Environment &changes) {
  Environment env{{"LWDEMO_VIDEO", "headless"}, {"LWDEMO_PACING", "off"}};
  env.insert(env.end(), changes.begin(), changes.end());
  return startprogram(lwdemopath(), {}, folder, env);
}

RunResult runlwdemo(const std::string &folder, const Environment &changes, int timeoutms) {
  Child child = startlwdemo(folder, changes);
  return finishprogram(&child, timeoutms);
}

int haveprogram(const char *name) {
  const char *path = getenv("PATH");
  for (std::string dirs = path ? path : "", dir; !dirs.empty(); dirs.erase(0, dir.size() + 1)) {
    dir = dirs.substr(0, dirs.find(':'));
    if (access((dir + "/" + name).c_str(), X_OK) == 0) return 1;
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
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const int pid = spawn(args, ".", {}, "", "");
  close(fds[1]);
  std::string number;
  char c;
  while (pid > 0 && read(fds[0], &c, 1) == 1 && c >= '0' && c <= '9') number += c;
  close(fds[0]);
  if (number.empty()) {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    return 0;
  }
  server->pid = pid;
  server->display = ":" + number;
  return 1;
}

void stopxserver(XServer *server) {
  if (server->pid > 0) {
    kill(server->pid, SIGTERM);
    waitpid(server->pid, nullptr, 0);
  }
  server->pid = -1;
}
