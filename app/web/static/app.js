// The editor page.
