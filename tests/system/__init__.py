"""System tests of SiteMonitor.exe under Wine: end-to-end scenarios, reliability runs and the
performance bench, on pytest (see conftest.py for the fixtures)."""
