-- System and device: locales, screen metrics, the machine identifier, the
-- power manager's signal, the input panel, and a print job to a printer that
-- does not exist. The resets and suspend are left out: on a device they act.
print("user / system locale:", osbridge.get_user_default_lcid(), osbridge.get_system_default_lcid())
print("changing the locale is not offered:", osbridge.set_user_default_lcid(1031))
print(("primary screen: %d x %d pixels"):format(osbridge.get_system_metrics(osbridge.SM_CXSCREEN),
      osbridge.get_system_metrics(osbridge.SM_CYSCREEN)))
print("machine identifier:", osbridge.serial_number())

local before = osbridge.get_epoch_ms()
osbridge.sleep(200)
print(("slept for about %.0f ms"):format(osbridge.get_epoch_ms() - before))

print("power manager told to reload its time-outs:", osbridge.powermanager_reload_activity_timeouts())
print("battery (a fixed answer):", osbridge.get_system_powerstatus())
print("input method of the input panel (nil without one):", osbridge.sip_get_current_im())

print("registering a library that is not there:", osbridge.dll_register_server("C:\\no such component.dll"))
print("printing to a printer that is not there:",
      osbridge.print_on_printer("No Such Printer", "Hello\r\n\f", "osbridge tour"))
