// Whether the running token is a member of the built-in Administrators group.
#pragma once

bool IsAdministrator();
