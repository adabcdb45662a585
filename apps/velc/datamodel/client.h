// What every command works on: the session with veld, the data-model view and the colour scheme.
// The shell and request mode each hold one and hand it to the commands they run.
#pragma once

#include "datamodel/view.h"
#include "link/session.h"
#include "platform/colors.h"

struct Client {
  Session& session;
  DataModelView& view;
  k::ColourTable& colours;
};
