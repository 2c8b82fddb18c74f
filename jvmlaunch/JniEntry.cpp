#include "jvmlaunch/JniEntry.h"

namespace plimo {

CreateJavaVmFunction createJavaVmEntry = nullptr;

}  // namespace plimo
