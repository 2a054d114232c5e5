; Included in the uninstaller's section, before the files go: the service stopped and
; removed (it ends within a second of the stop), and the event source's registration.
nsExec::Exec 'sc.exe stop VellmorWatch'
Pop $R1
nsExec::Exec 'sc.exe delete VellmorWatch'
Pop $R1
; The service is gone once it has stopped; at most 5 s.
StrCpy $R2 0
vellmor_service_wait:
  nsExec::Exec 'sc.exe query VellmorWatch'
  Pop $R1
  StrCmp $R1 "0" 0 vellmor_service_gone
  IntOp $R2 $R2 + 1
  IntCmp $R2 50 vellmor_service_gone
  Sleep 100
  Goto vellmor_service_wait
vellmor_service_gone:
DeleteRegKey HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Vellmor"
