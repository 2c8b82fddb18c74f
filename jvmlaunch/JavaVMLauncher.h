#pragma once

namespace plimo {

// Creates the Java VM in this process through the bound JNI_CreateJavaVM,
// calls the configured main class's main(String[]) on this thread and
// destroys the VM after it returns. True after a normal return; false when
// the VM could not be created or main ended with an exception.
bool launchJvm(int jniVersion, const char* commandLine, const char* commFile, const char* semaphoreName,
               const char* tempDir);

}  // namespace plimo
