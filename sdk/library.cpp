// Until instances exist the library is never initialised: every public call
// that needs it answers RC_NOT_INITIALIZED.
#include "sdk/library.h"

bool library_initialised() { return false; }

AttributeStore* current_attributes() { return nullptr; }
