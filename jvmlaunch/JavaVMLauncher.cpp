// The in-process launch: argument splitting, launcher variables, class path
// assembly, the VM options file and the JNI call sequence. Everything that
// touches the operating system goes through LaunchPlatform, so this file runs
// natively against a real JDK and under Wine against the runtime double.
#include "jvmlaunch/JavaVMLauncher.h"

#include <cstring>
#include <deque>
#include <memory>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Trace.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "jvmsearch/JniEntry.h"

namespace plimo {

namespace {

// The one VM of the process, created and used on the worker thread only.
JavaVM* javaVm = nullptr;
JNIEnv* jniEnv = nullptr;

constexpr char INSTALLER_KIND = 'i';
constexpr const char* CLASS_PATH_PREFIX = "-Djava.class.path=";
constexpr const char* MAIN_SIGNATURE = "([Ljava/lang/String;)V";

// Option texts and option arrays handed to the VM stay valid until the
// process ends: a runtime may keep pointers into them. Held through pointers
// that are never released, so leak checkers see them as reachable.
std::deque<std::string>& keptOptionTexts() {
  static auto* texts = new std::deque<std::string>();
  return *texts;
}
std::vector<std::unique_ptr<JavaVMOption[]>>& keptOptionArrays() {
  static auto* arrays = new std::vector<std::unique_ptr<JavaVMOption[]>>();
  return *arrays;
}

// The argument array or one of its strings could not be made: the VM is out
// of memory or broken. Its pending exception says why; the caller treats this
// like an exception out of main.
bool argumentsFailed(JNIEnv* env, const char* what) {
  trace("launch: could not create %s for main's arguments", what);
  if (env->ExceptionOccurred() != nullptr) env->ExceptionDescribe();
  return false;
}

}  // namespace

// --- Argument splitting and launcher variables ----------------------------

const char* splitArguments(const char* text, const char* prefix, std::vector<std::string>& items) {
  const std::size_t prefixLength = prefix != nullptr ? std::strlen(prefix) : 0;
  const char* p = text;
  for (;;) {
    if (prefixLength == 0) {
      if (*p == '\0') break;
    } else if (std::strncmp(p, prefix, prefixLength) != 0) {
      break;
    }
    p += prefixLength;
    const char* doubleQuote = std::strchr(p, '"');
    const char* apostrophe = std::strchr(p, '\'');
    const char* blank = std::strchr(p, ' ');
    if (blank == p) {
      ++p;  // runs of blanks go one per pass, so a prefix is tested after each
      continue;
    }
    if (blank != nullptr && (doubleQuote == nullptr || blank < doubleQuote) &&
        (apostrophe == nullptr || blank < apostrophe)) {
      items.emplace_back(p, blank);
      p = blank + 1;
    } else if (doubleQuote != nullptr && (apostrophe == nullptr || doubleQuote < apostrophe)) {
      p = takeQuotedToken(items, doubleQuote, p, '"');
    } else if (apostrophe != nullptr) {
      p = takeQuotedToken(items, apostrophe, p, '\'');
    } else {
      items.emplace_back(p);
      p += std::strlen(p);
    }
  }
  return p;
}

const char* takeQuotedToken(std::vector<std::string>& items, const char* openQuote, const char* start, char quote) {
  const char* closeQuote = std::strchr(openQuote + 1, quote);
  if (closeQuote == nullptr) {
    trace("launch: unclosed %c in parameters", quote);
    fatalMessage(msg::WRONG_PARAMETER_USAGE, nullptr, nullptr);
  }
  // Text before the quote belongs to the item: -Dname="a b" is -Dname=a b,
  // as a command shell would give it.
  std::string item(start, openQuote);
  item.append(openQuote + 1, closeQuote);
  items.push_back(std::move(item));
  return closeQuote[1] == ' ' ? closeQuote + 2 : closeQuote + 1;
}

void replaceAll(std::string& text, const std::string& placeholder, const std::string& replacement) {
  if (placeholder.empty()) return;
  std::size_t at = text.find(placeholder);
  while (at != std::string::npos) {
    text.replace(at, placeholder.size(), replacement);
    at = text.find(placeholder, at + replacement.size());
  }
}

void substituteLauncherVariables(PageText& text, const AnsiText& exeDir, const AnsiText& tempDir) {
  replaceAll(text, "%PLIMO_EXEDIR%", exeDir);
  replaceAll(text, "%SORBILANE_EXEDIR%", exeDir);
  replaceAll(text, "%PLIMO_TEMPDIR%", tempDir);
  replaceAll(text, "%SORBILANE_TEMPDIR%", tempDir);
  replaceAll(text, "%PLIMO_PATHLIST_SEPARATOR%", ";");
  replaceAll(text, "%SORBILANE_PATHLIST_SEPARATOR%", ";");
}

// --- Class path ------------------------------------------------------------

AnsiText buildClassPathOption(LaunchPlatform& platform, const AnsiText& tempDir) {
  // The quotes and the leading separator are part of what the VM receives;
  // installers built for this launcher expect exactly this form.
  std::string option = CLASS_PATH_PREFIX;
  option += "\";";
  appendClassPathEntries(platform, option, tempDir);
  option += '"';
  trace("launch: class path option of %lu bytes", static_cast<unsigned long>(option.size()));
  return option;
}

bool appendDirectoryArchives(LaunchPlatform& platform, AnsiText& option, const AnsiText& dir,
                             const std::string& ext) {
  if (dir.empty() || !platform.fileExists(dir)) return false;
  for (const std::string& name : platform.listDirectoryMatches(dir, ext)) {
    // Resolving collapses the doubled backslash of a directory given with a
    // trailing one.
    option += platform.resolveAgainstExeDir(dir + "\\" + name);
    option += ';';
  }
  return true;
}

void appendRuntimeJar(LaunchPlatform& platform, AnsiText& option) {
  if (launcherKind() != INSTALLER_KIND) return;
  option += platform.normalizePath(getConfigString(cfg::BASE_DIRECTORY));
  option += "\\.sorbilane\\sblruntime.jar;";
}

bool appendFileItem(LaunchPlatform& platform, AnsiText& option, const PageText& name) {
  std::string path = platform.resolveAgainstExeDir(name);
  bool exists = platform.fileExists(path);
  option += path;
  option += ';';
  return exists;
}

bool appendVariableItem(LaunchPlatform& platform, AnsiText& option, const PageText& name, bool required) {
  std::string value;
  // An empty variable adds nothing usable: a required one is reported like
  // an undefined one, which names the variable to fix.
  if (!platform.environmentVariable(name, value) || value.empty()) {
    trace("launch: class path variable %s undefined or empty", name.c_str());
    if (!required) return false;
    fatalMessage(msg::VARIABLE_UNDEFINED, "%ENV_VAR_NAME%", name.c_str());
  }
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  option += value;
  if (value.empty() || value.back() != ';') option += ';';
  return true;
}

bool appendScannedDirectoryItem(LaunchPlatform& platform, AnsiText& option, const PageText& name) {
  std::string dir = platform.resolveAgainstExeDir(name);
  bool jars = appendDirectoryArchives(platform, option, dir, "jar");
  bool zips = appendDirectoryArchives(platform, option, dir, "zip");
  return jars || zips;
}

void appendConfiguredItem(LaunchPlatform& platform, AnsiText& option, const PageText& item) {
  if (item.size() < 2) {
    // A kind letter without flag or name names nothing to add or require.
    trace("launch: class path item '%s' has no name; ignored", item.c_str());
    return;
  }
  const char kind = item[0];
  const bool required = item[1] == '1';
  const std::string name = item.substr(2);
  bool found = false;
  switch (kind) {
    case 'A':
    case 'D':
      found = appendFileItem(platform, option, name);
      break;
    case 'E':
      found = appendVariableItem(platform, option, name, required);
      break;
    case 'S':
      found = appendScannedDirectoryItem(platform, option, name);
      break;
    default:
      // Nothing this launcher knows how to provide; required, it is missing.
      trace("launch: class path item '%s' of unknown kind", item.c_str());
      break;
  }
  if (required && !found) {
    trace("launch: required class path item '%s' missing", item.c_str());
    fatalMessage(msg::CLASS_PATH_ENTRY_MISSING, "%FILE_NAME%", name.c_str());
  }
}

void appendClassPathEntries(LaunchPlatform& platform, AnsiText& option, const AnsiText& tempDir) {
  appendDirectoryArchives(platform, option, tempDir, "jar");
  appendDirectoryArchives(platform, option, tempDir, "zip");
  appendRuntimeJar(platform, option);

  const std::string configured = getConfigString(cfg::CLASS_PATH);
  std::size_t begin = 0;
  while (begin <= configured.size()) {
    std::size_t end = configured.find(';', begin);
    if (end == std::string::npos) end = configured.size();
    const std::string item = configured.substr(begin, end - begin);
    begin = end + 1;
    if (!item.empty()) appendConfiguredItem(platform, option, item);
  }
}

// --- VM options file -------------------------------------------------------

std::FILE* openVmOptionsFile(const AnsiText& moduleFileName) {
  return std::fopen((moduleFileName + ".vmoptions").c_str(), "rt");
}

void appendVmOptionsFileLines(LaunchPlatform& platform, std::vector<AnsiText>& options) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openVmOptionsFile(platform.moduleFileName()), &std::fclose);
  if (!file) return;
  char line[VALUE_BUFFER_SIZE];
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
    options.emplace_back(line, length);
    trace("launch: VM options file line '%s'", options.back().c_str());
  }
}

// --- The launch ------------------------------------------------------------

std::vector<AnsiText> launcherProperties(const AnsiText& moduleFileName, const char* ansiCommFile,
                                         const char* ansiSemaphoreName, bool manual) {
  std::vector<std::string> properties;
  if (ansiCommFile != nullptr) properties.push_back(std::string("-Dplimo.commFile=") + ansiCommFile);
  if (ansiSemaphoreName != nullptr) properties.push_back(std::string("-Dplimo.semaphoreName=") + ansiSemaphoreName);
  if (manual) properties.push_back("-Dplimo.manualJre=true");
  properties.push_back("-Dplimo.moduleName=" + moduleFileName);
  return properties;
}

Utf8Text buildVmOptions(LaunchPlatform& platform, const std::vector<AnsiText>& properties,
                        const AnsiText& tempDir, const Utf8Text& commandLine, std::vector<AnsiText>& options) {
  options.insert(options.end(), properties.begin(), properties.end());
  appendVmOptionsFileLines(platform, options);
  options.push_back(buildClassPathOption(platform, tempDir));
  std::string parameters = getConfigString(cfg::VM_PARAMETERS);
  substituteLauncherVariables(parameters, platform.resolveAgainstExeDir(""), tempDir);
  splitArguments(parameters.c_str(), nullptr, options);
  if (getConfigInt(cfg::FORWARD_J_OPTIONS) == 0) return commandLine;
  std::size_t first = options.size();
  const char* rest = splitArguments(commandLine.c_str(), "-J", options);
  for (std::size_t i = first; i < options.size(); ++i) options[i] = platform.commandLineToSystem(options[i]);
  return rest;
}

void buildVmInitArgs(JavaVMInitArgs& args, const std::vector<AnsiText>& options, jint version,
                     RuntimeExitHook exitHook) {
  std::memset(&args, 0, sizeof args);
  args.version = version;
  args.ignoreUnrecognized = JNI_TRUE;
  std::unique_ptr<JavaVMOption[]> records(new JavaVMOption[options.size() + 2]());
  std::deque<std::string>& texts = keptOptionTexts();
  for (std::size_t i = 0; i < options.size(); ++i) {
    texts.push_back(options[i]);
    records[i].optionString = texts.back().data();
    records[i].extraInfo = nullptr;
  }
  std::size_t count = options.size();
  if (exitHook != nullptr) {
    // Last, after every option the user could give: only the launcher's own
    // hook cleans up before the process ends.
    texts.push_back("exit");
    records[count].optionString = texts.back().data();
    records[count].extraInfo = reinterpret_cast<void*>(exitHook);
    ++count;
  }
  args.nOptions = static_cast<jint>(count);
  args.options = records.get();
  keptOptionArrays().push_back(std::move(records));
}

bool createJavaVm(LaunchPlatform& platform, jint version, const Utf8Text& commandLine,
                  const std::vector<AnsiText>& properties, const AnsiText& tempDir, Utf8Text& programArguments) {
  std::vector<std::string> options;
  programArguments = buildVmOptions(platform, properties, tempDir, commandLine, options);
  JavaVMInitArgs args;
  buildVmInitArgs(args, options, version, platform.exitHook());
  for (const std::string& option : options) trace("launch: VM option '%s'", option.c_str());
  if (createJavaVmEntry == nullptr) {
    trace("launch: no runtime library bound");
    return false;
  }
  jint result = createJavaVmEntry(&javaVm, reinterpret_cast<void**>(&jniEnv), &args);
  trace("launch: JNI_CreateJavaVM returned %ld", static_cast<long>(result));
  return result == JNI_OK && jniEnv != nullptr;
}

void toInternalClassName(PageText& name) {
  for (char& c : name) {
    if (c == '.') c = '/';
  }
}

bool invokeMainClass(LaunchPlatform& platform, JNIEnv* env, const Utf8Text& argumentText) {
  std::string className = getConfigString(cfg::MAIN_CLASS);
  toInternalClassName(className);
  jclass mainClass = env->FindClass(className.c_str());
  if (mainClass == nullptr) {
    trace("launch: class %s not found", className.c_str());
    fatalMessage(msg::MAIN_CLASS_NOT_FOUND, nullptr, nullptr);
  }
  jmethodID mainMethod = env->GetStaticMethodID(mainClass, "main", MAIN_SIGNATURE);
  if (mainMethod == nullptr) {
    trace("launch: %s has no static main(String[])", className.c_str());
    fatalMessage(msg::MAIN_METHOD_NOT_FOUND, nullptr, nullptr);
  }

  // The configured arguments are in the installer's code page, the command
  // line's in UTF-8.
  std::vector<std::string> arguments;
  splitArguments(getConfigString(cfg::PROGRAM_ARGUMENTS).c_str(), nullptr, arguments);
  std::size_t configured = arguments.size();
  splitArguments(argumentText.c_str(), nullptr, arguments);

  jclass stringClass = env->FindClass("java/lang/String");
  jobjectArray paramArray =
      stringClass != nullptr ? env->NewObjectArray(static_cast<jsize>(arguments.size()), stringClass, nullptr) : nullptr;
  if (paramArray == nullptr) return argumentsFailed(env, "paramArray");
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::u16string wide =
        i < configured ? platform.toUtf16(arguments[i]) : platform.commandLineToUtf16(arguments[i]);
    jstring jstr = env->NewString(reinterpret_cast<const jchar*>(wide.data()), static_cast<jsize>(wide.size()));
    if (jstr == nullptr) return argumentsFailed(env, "jstr");
    env->SetObjectArrayElement(paramArray, static_cast<jsize>(i), jstr);
  }

  trace("launch: calling %s.main with %lu arguments", className.c_str(), static_cast<unsigned long>(arguments.size()));
  mainMethodCalled = true;
  env->CallStaticVoidMethod(mainClass, mainMethod, paramArray);
  if (env->ExceptionOccurred() != nullptr) {
    trace("launch: main ended with an exception");
    env->ExceptionDescribe();
    return false;
  }
  return true;
}

bool launchJvm(LaunchPlatform& platform, jint version, const Utf8Text& commandLine, const char* ansiCommFile,
               const char* ansiSemaphoreName, const AnsiText& tempDir) {
  std::vector<std::string> properties =
      launcherProperties(platform.moduleFileName(), ansiCommFile, ansiSemaphoreName, manualMode);
  std::string programArguments;
  if (!createJavaVm(platform, version, commandLine, properties, tempDir, programArguments)) return false;
  if (!invokeMainClass(platform, jniEnv, programArguments)) return false;
  // Waits for the Java program's other non-daemon threads; the result says
  // nothing the launcher could act on.
  javaVm->DestroyJavaVM();
  trace("launch: VM destroyed");
  return true;
}


}  // namespace plimo
