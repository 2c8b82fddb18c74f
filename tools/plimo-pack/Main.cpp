// plimo-pack: builds installers from the launcher stub and a project file,
// and reads them back.
#include <CLI/CLI.hpp>
#include <iostream>

#include "tools/plimo-pack/Commands.h"
#include "tools/plimo-pack/HostFiles.h"
#include "tools/plimo-pack/Project.h"
#include "tools/plimo-pack/ZipRuntime.h"

int main(int argc, char** argv) {
  using namespace plimo::pack;
  CLI::App app{"plimo-pack: builds Java installers from the plimo launcher stub"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "plimo-pack " PLIMO_PACK_VERSION, "print the version and exit");

  BuildOptions build;
  std::string arch;
  std::string stub;
  CLI::App* buildCommand = app.add_subcommand("build", "write an installer from a project file");
  buildCommand->add_option("project", build.project, "project file (TOML)")->required();
  buildCommand->add_option("-o,--output", build.output, "installer to write")->required();
  buildCommand->add_option("--arch", arch, "x86 or x64; wins over the project's arch (default x86)");
  buildCommand->add_option("--stub", stub, "the launcher stub to use instead of the one found beside plimo-pack");

  std::string installer;
  bool json = false;
  // Empty: the code page the installer records, else the default.
  std::string codePage;
  CLI::App* inspectCommand = app.add_subcommand("inspect", "list an installer's entries and payload files");
  inspectCommand->add_option("installer", installer, "installer to read")->required();
  inspectCommand->add_flag("--json", json, "print JSON");
  inspectCommand->add_option("--code-page", codePage, "code page of the narrow entries (default: the one the installer records, else windows-1252)");

  std::string directory;
  CLI::App* extractCommand = app.add_subcommand("extract", "write an installer's payload files into a directory");
  extractCommand->add_option("installer", installer, "installer to read")->required();
  extractCommand->add_option("-d,--directory", directory, "target directory")->required();
  extractCommand->add_option("--code-page", codePage, "code page of the payload names (default: the one the installer records, else windows-1252)");

  RuntimeOptions runtime;
  std::string runtimeArch;
  CLI::App* runtimeCommand = app.add_subcommand(
      "runtime", zipRuntimesSupported()
                     ? "pack a Java runtime folder or .zip as the jre.tar.gz the launcher unpacks, and print its SHA-256"
                     : "pack a Java runtime folder as the jre.tar.gz the launcher unpacks, and print its SHA-256 "
                       "(this build reads no .zip files)");
  runtimeCommand->add_option("source", runtime.source,
                             "the runtime folder or .zip (its java.exe at the top or in its one folder)")
      ->required();
  runtimeCommand->add_option("-o,--output", runtime.output, "the archive to write")->required();
  runtimeCommand->add_option("--arch", runtimeArch, "x86 or x64: the stub it is for (default: that of its java.exe)");

  std::string initDirectory = ".";
  CLI::App* initCommand = app.add_subcommand("init", "write a commented starter project (plimo.toml)");
  initCommand->add_option("directory", initDirectory, "folder to write it into (default: the current one)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    // Usage errors share the exit code of an invalid project.
    return code == 0 ? 0 : EXIT_INVALID;
  }

  if (*buildCommand) {
    if (!arch.empty()) build.arch = arch;
    if (!stub.empty()) build.stub = stub;
    build.toolDirectory = toolDirectory();
    return runBuild(build, std::cout, std::cerr);
  }
  if (*initCommand) return runInit(initDirectory, std::cout, std::cerr);
  if (*runtimeCommand) {
    if (!runtimeArch.empty()) runtime.arch = runtimeArch;
    return runRuntime(runtime, std::cout, std::cerr);
  }
  if (*inspectCommand) return runInspect(installer, json, codePage, std::cout, std::cerr);
  return runExtract(installer, directory, codePage, std::cout, std::cerr);
}
