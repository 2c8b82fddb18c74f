#include "tools/plimo-pack/Catalogue.h"

#include "provision/DownloadProgress.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::pack {

const std::vector<EntryInfo>& narrowEntries() {
  static const std::vector<EntryInfo> entries = {
      {107, "launch.application_type", "application type: 1 and 5 graphical (message boxes), others console (standard error)"},
      {121, "launch.class_path", "configured class path items, separated by \";\""},
      {122, "launch.main_class", "main class, dotted form"},
      {123, "launch.vm_parameters", "virtual-machine parameters"},
      {124, "launch.program_arguments", "program arguments placed before the command-line arguments"},
      {125, "launch.forward_j_options", "non-zero: leading \"-J\" command-line items go to the virtual machine"},
      {126, "runtime.min_version", "minimum Java version"},
      {127, "runtime.max_version", "maximum Java version"},
      {128, "runtime.search_sequence", "runtime search sequence, separated by \";\""},
      {150, "runtime.download_url", "download address of the runtime archive"},
      {151, "", "decompressed size of the bundled runtime archive (derived from runtime.bundle)"},
      {152, "runtime.preferred_vm_type", "preferred virtual-machine type directory"},
      {153, "runtime.download_sha256", "SHA-256 the downloaded runtime archive must have"},
      {154, "", "Windows code page number of the narrow texts (derived from code_page)"},
      {1000, "messages.error_caption", "caption of error message boxes"},
      {1001, "messages.no_jvm", "message: no runtime found"},
      {1002, "messages.jvm_on_path_damaged", "message: runtime on the search path unusable"},
      {1003, "messages.jvm_of_variable_damaged", "message: runtime named by an environment variable unusable"},
      {1004, "messages.jvm_at_path_damaged", "message: runtime at a defined path unusable"},
      {1005, "messages.jvm_not_started", "message: the virtual machine cannot be started"},
      {1006, "messages.class_path_entry_missing", "message: required class path item missing"},
      {1007, "messages.wrong_parameter_usage", "message: bad quoting in an argument list"},
      {1008, "messages.variable_undefined", "message: required environment variable undefined"},
      {1009, "messages.internal_error", "message: internal error with a numeric code"},
      {1010, "messages.main_class_not_found", "message: main class not found"},
      {1011, "messages.main_method_not_found", "message: main method not found"},
      {2001, "launch.launcher_kind", "launcher kind: \"i\" installer, \"e\" application launcher"},
      {2002, "", "number of payload files (derived from payload)"},
      {2003, "", "payload file names, each followed by \";\" (derived from payload)"},
      {10003, "launch.base_directory", "base directory of the installed application"},
  };
  return entries;
}

const std::vector<EntryInfo>& wideEntries() {
  static const std::vector<EntryInfo> entries = {
      {20001, "wide_messages.downloading", "progress text while the runtime downloads"},
      {20002, "wide_messages.wininet_missing", "fatal message: the internet library cannot be used"},
      {20003, "wide_messages.download_failed", "fatal message: the runtime download failed"},
      {20004, "wide_messages.pick_java_title", "title of the dialog that picks java.exe"},
      {20005, "wide_messages.choice_with_download", "runtime choice text when a download is offered"},
      {20006, "wide_messages.choice_without_download", "runtime choice text without download"},
      {20007, "wide_messages.preparing", "progress text while the launcher prepares"},
      {20008, "wide_messages.progress_format", "format of the download progress line (four doubles)"},
      {20009, "wide_messages.connecting", "status line while the connection is set up"},
      {20010, "wide_messages.download_button", "caption of the Download button"},
      {20011, "wide_messages.locate_button", "caption of the button that picks a runtime by hand"},
      {20012, "wide_messages.cancel_button", "caption of the Cancel buttons"},
      {20013, "wide_messages.caption", "caption of the dialogs and of wide message boxes"},
      {20014, "wide_messages.no_window", "fatal message: no application window within 60 seconds"},
      {20015, "wide_messages.runtime_archive_damaged", "fatal message: the runtime archive could not be unpacked"},
      {20016, "wide_messages.path_not_representable", "fatal message: a folder's name cannot reach Java (the path follows)"},
      {20017, "wide_messages.runtime_wrong_processor",
       "fatal message: only runtimes built for the other processor were found (a java.exe follows)"},
  };
  return entries;
}

const EntryInfo* findEntry(const std::vector<EntryInfo>& list, std::int32_t id) {
  for (const auto& e : list)
    if (e.id == id) return &e;
  return nullptr;
}

const std::vector<MessageInfo>& narrowMessages() {
  static const std::vector<MessageInfo> messages = {
      {1000, "error_caption", nullptr, "Setup error", "Error"},
      {1001, "no_jvm", nullptr,
       "No suitable Java runtime was found on this computer.\r\nPlease install a Java runtime and run this program again."},
      {1002, "jvm_on_path_damaged", nullptr,
       "The Java runtime found on the search path does not work.\r\nPlease reinstall it or install another Java runtime."},
      {1003, "jvm_of_variable_damaged", "%ENV_VAR_NAME%",
       "The environment variable %ENV_VAR_NAME% does not point to\r\na working Java runtime (JDK or JRE)."},
      {1004, "jvm_at_path_damaged", "%DEFINED_PATH%",
       "The Java runtime at %DEFINED_PATH% does not work.\r\nPlease reinstall it or install another Java runtime."},
      {1005, "jvm_not_started", nullptr, "The Java virtual machine could not be started."},
      {1006, "class_path_entry_missing", "%FILE_NAME%", "The file or folder %FILE_NAME% is missing or empty."},
      {1007, "wrong_parameter_usage", nullptr, "The parameters are not quoted correctly."},
      {1008, "variable_undefined", "%ENV_VAR_NAME%", "The environment variable %ENV_VAR_NAME% must be set."},
      {1009, "internal_error", "%ERROR_CODE%", "An internal error occurred (error code %ERROR_CODE%)."},
      {1010, "main_class_not_found", nullptr, "The program's main class was not found."},
      {1011, "main_method_not_found", nullptr, "The program's main method was not found."},
  };
  return messages;
}

const std::vector<MessageInfo>& wideMessages() {
  static const std::vector<MessageInfo> messages = {
      {20001, "downloading", nullptr, "Downloading the Java runtime. Please wait..."},
      {20002, "wininet_missing", nullptr,
       "The Internet functions of Windows (wininet.dll) are not available.\r\n"
       "Please install Internet Explorer 3.0 or later and run this setup again.",
       "The Internet functions of Windows (wininet.dll) are not available.\r\n"
       "Please install Internet Explorer 3.0 or later and start this program again."},
      {20003, "download_failed", nullptr,
       "The Java runtime could not be downloaded.\r\nPlease check your Internet connection and run this setup again.",
       "The Java runtime could not be downloaded.\r\nPlease check your Internet connection and start this program again."},
      {20004, "pick_java_title", nullptr, "Select java.exe"},
      {20005, "choice_with_download", nullptr,
       "No suitable Java runtime was found on this computer.\r\n"
       "You can download one now or locate an installed java.exe."},
      {20006, "choice_without_download", nullptr,
       "No suitable Java runtime was found on this computer.\r\nPlease locate an installed java.exe."},
      {20007, "preparing", nullptr, "Preparing the installation. Please wait...", "Starting the program. Please wait..."},
      {20008, "progress_format", "%f", "%.1f MB of %.1f MB received (%.0f%%), %.0f kb/s"},
      {20009, "connecting", nullptr, "Connecting..."},
      {20010, "download_button", nullptr, "Download"},
      {20011, "locate_button", nullptr, "Locate..."},
      {20012, "cancel_button", nullptr, "Cancel"},
      {20013, "caption", nullptr, "Setup", "Java program"},
      {20014, "no_window", nullptr,
       "The application did not open a window within 60 seconds.\r\n"
       "Please run this setup again. If the problem persists, start it\r\n"
       "with the parameter /manual and choose a Java runtime yourself.",
       "The program did not open a window within 60 seconds.\r\n"
       "Please start it again. If the problem persists, start it\r\n"
       "with the parameter /manual and choose a Java runtime yourself."},
      {20015, "runtime_archive_damaged", nullptr,
       "The Java runtime archive is damaged and could not be unpacked.\r\n"
       "Please run this setup again. If the problem persists, obtain the setup again.",
       "The Java runtime archive is damaged and could not be unpacked.\r\n"
       "Please start this program again. If the problem persists, obtain the program again."},
      {20016, "path_not_representable", nullptr,
       "This setup cannot use the folder below: its name has characters that Windows'\r\n"
       "language for non-Unicode programs cannot pass to Java, and it has no short name.\r\n"
       "Please move the setup to a folder with a plain name, or set that language to match.",
       "This program cannot use the folder below: its name has characters that Windows'\r\n"
       "language for non-Unicode programs cannot pass to Java, and it has no short name.\r\n"
       "Please move the program to a folder with a plain name, or set that language to match."},
      {20017, "runtime_wrong_processor", nullptr,
       "No 32-bit Java runtime was found on this computer. The Java runtime below is built\r\n"
       "for 64-bit Windows, which this setup cannot use; please install a 32-bit Java runtime,\r\n"
       "or use the 64-bit version of this setup.",
       "No 32-bit Java runtime was found on this computer. The Java runtime below is built\r\n"
       "for 64-bit Windows, which this program cannot use; please install a 32-bit Java runtime,\r\n"
       "or use the 64-bit version of this program.",
       "No 64-bit Java runtime was found on this computer. The Java runtime below is built\r\n"
       "for 32-bit Windows, which this setup cannot use; please install a 64-bit Java runtime,\r\n"
       "or use the 32-bit version of this setup.",
       "No 64-bit Java runtime was found on this computer. The Java runtime below is built\r\n"
       "for 32-bit Windows, which this program cannot use; please install a 64-bit Java runtime,\r\n"
       "or use the 32-bit version of this program."},
  };
  return messages;
}

const char* defaultTextFor(const MessageInfo& m, bool application, bool x64) {
  if (x64 && m.x64Text) return application && m.x64ApplicationText ? m.x64ApplicationText : m.x64Text;
  return application && m.applicationText ? m.applicationText : m.defaultText;
}

bool isSafeProgressFormat(const Utf8Text& text, std::string& why) {
  ProgressFormatCheck check = checkProgressFormat(utf16FromUtf8(text));
  switch (check.fault) {
    case ProgressFormatFault::NotFloatingPoint:
      why = "the conversion at offset " + std::to_string(check.at) +
            " is not a floating conversion (the launcher passes four doubles)";
      return false;
    case ProgressFormatFault::TooManyConversions:
      why = "more than four conversions (the launcher passes four doubles)";
      return false;
    case ProgressFormatFault::None:
      break;
  }
  // The launcher would cut such a line; refusing it tells the author now.
  if (check.longestLine > PROGRESS_LINE_MAX) {
    why = "the formatted line could exceed " + std::to_string(PROGRESS_LINE_MAX) + " characters";
    return false;
  }
  return true;
}

}  // namespace plimo::pack
