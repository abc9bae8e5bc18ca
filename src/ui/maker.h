// The maker's addresses, kept in one place for the code and the resource script.
#pragma once

#define KV_APP_TITLE "Kestrova"
#define KV_WEB_HOST "www.orvane.example"
#define KV_WEB_URL "http://" KV_WEB_HOST "/"
#define KV_SUPPORT_EMAIL "support@orvane.example"
#define KV_COPYRIGHT "Copyright (C) 1998-2026 Orvane Software"
#define KV_TRADEMARKS "Windows is a registered trademark of its owner."
