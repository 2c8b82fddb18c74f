#include "jvmsearch/JniEntry.h"

namespace plimo {

CreateJavaVmFunction createJavaVmEntry = nullptr;

}  // namespace plimo
