#include "driver/Instance.h"

namespace vorn {
Instance<long> instance;
}
