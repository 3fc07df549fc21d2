#include "folder/EncryptIn.h"
