#include "folder/ContentsModel.h"
